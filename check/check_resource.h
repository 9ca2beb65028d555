// Resource identifiers of QuillonCheck.
#pragma once

// The hidden window that hosts the control.
#define IDD_CHECK_HOST 300
