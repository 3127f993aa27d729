#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>

#include "platform.h"

namespace render {

LibraryHandle openLibrary(const std::string& path, std::string& error) {
    // A path without a slash would make dlopen search the library path instead
    // of taking the file the user named.
    const std::string explicitPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(explicitPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown reason";
    }
    return library;
}

void* findSymbol(LibraryHandle library, const char* name) { return dlsym(library, name); }

void closeLibrary(LibraryHandle library) { dlclose(library); }

std::string executableDirectory() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return ".";
    const std::string program(path, static_cast<std::size_t>(length));
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? "." : program.substr(0, slash);
}

const char* pluginFileName() { return "Drevon_Orbelune.so"; }

char pathSeparator() { return '/'; }

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int processId() { return static_cast<int>(getpid()); }

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

MoveResult moveFileNoReplace(const std::string& from, const std::string& to) {
    // A hard link is refused when the name is taken; then the temporary name goes.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return MoveResult::moved;
    }
    if (errno == EEXIST) return MoveResult::targetExists;
    // A file system without hard links: look, then rename.
    if (access(to.c_str(), F_OK) == 0) return MoveResult::targetExists;
    return std::rename(from.c_str(), to.c_str()) == 0 ? MoveResult::moved : MoveResult::failed;
}

}  // namespace render
