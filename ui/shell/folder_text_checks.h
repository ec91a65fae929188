#pragma once

// The folder-text checks live in ui/folder_text/; this name is kept for code that still
// includes them from here (the fuzz target).
#include "ui/folder_text/folder_text_checks.h"
