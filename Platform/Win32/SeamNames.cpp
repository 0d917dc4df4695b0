// Built in every Windows build, linked into nothing: the full <windows.h>,
// then every seam header (the generated list includes each one), with no
// macro of it undone. The list then declares each seam method's name as a variable, which fails to
// compile when <windows.h> has a macro or a function of that name, so that a
// seam name which would turn into MoveFileA or hide SetLastError cannot come
// back.
#include <windows.h>

#include "Platform/Win32/SeamNames.inc"  // generated in the build folder
