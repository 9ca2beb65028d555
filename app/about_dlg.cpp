#include "app/about_dlg.h"
