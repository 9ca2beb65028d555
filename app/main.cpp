// The one application object of the console.
#include "app/pellix_app.h"

CPellixApp theApp;
