#pragma once
// The version shown in the window title.
#define SOLMIR_VERSION_TEXT "1.1"
