// The few operating-system services the renderer needs, so that the rest of it
// reads the same on Linux and Windows.
#pragma once

#include <string>

namespace render {

// A loaded shared library (dlopen on Linux, LoadLibrary on Windows).
using LibraryHandle = void*;

// Loads the library at the path; null on failure, with the reason in `error`.
LibraryHandle openLibrary(const std::string& path, std::string& error);
void* findSymbol(LibraryHandle library, const char* name);
void closeLibrary(LibraryHandle library);

// The directory that holds the running program, without a trailing separator.
std::string executableDirectory();
// The file name of the plug-in binary this platform builds.
const char* pluginFileName();
char pathSeparator();

bool standardErrorIsTerminal();
int processId();

// Moves `from` over `to`, replacing it if it exists; false on failure.
bool replaceFile(const std::string& from, const std::string& to);

enum class MoveResult { moved, targetExists, failed };
// Moves `from` to `to` only if no file has that name, checked and taken in
// one step where the file system allows, so a file that appeared meanwhile is
// never replaced.
MoveResult moveFileNoReplace(const std::string& from, const std::string& to);

}  // namespace render
