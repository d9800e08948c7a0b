#pragma once
// Loading a shared library by file name at run time.

#include <string>

namespace platform {

using LibraryHandle = void*;

LibraryHandle LoadLibraryByName(const std::string& path);
void* LibrarySymbol(LibraryHandle library, const char* name);
void FreeLibraryHandle(LibraryHandle library);
// The loader's text for the last failure.
std::string LastLibraryError();
// "ZORVDLL.DLL" on Windows, "lib" + name + ".so" elsewhere.
std::string SharedLibraryFileName(const std::string& base_name);

}  // namespace platform
