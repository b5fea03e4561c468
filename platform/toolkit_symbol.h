// The toolkit's own calls for what wx does not offer. The toolkit is in the process already (wx
// runs on it) but its headers are not part of the build, so a call is looked up by name at run
// time; a caller keeps working without it where it can.
#pragma once
#include <dlfcn.h>

namespace platform {

// The toolkit call `name` as a pointer of type F; nullptr when the process has no such call.
template <typename F>
F ToolkitSymbol(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace platform
