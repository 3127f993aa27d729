#include <windows.h>
#include <io.h>
#include <process.h>

#include <cstdio>

#include "platform.h"

namespace render {

namespace {

std::string systemMessage(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

LibraryHandle openLibrary(const std::string& path, std::string& error) {
    // No "cannot find DLL" dialog boxes: a batch tool reports and exits.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previousMode);
    if (library == nullptr) error = systemMessage(code);
    return reinterpret_cast<LibraryHandle>(library);
}

void* findSymbol(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string executableDirectory() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length);
    const std::size_t separator = program.find_last_of("\\/");
    return separator == std::string::npos ? "." : program.substr(0, separator);
}

const char* pluginFileName() { return "Drevon_Orbelune.dll"; }

char pathSeparator() { return '\\'; }

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int processId() { return _getpid(); }

bool replaceFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

MoveResult moveFileNoReplace(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move is refused when the name is taken.
    if (MoveFileExA(from.c_str(), to.c_str(), 0) != 0) return MoveResult::moved;
    const DWORD code = GetLastError();
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? MoveResult::targetExists : MoveResult::failed;
}

}  // namespace render
