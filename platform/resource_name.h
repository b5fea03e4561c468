// Resource names that are integer ids: the id travels in the name pointer's value, below 0x10000,
// where no text can be.
#pragma once
#include <cstdint>

#include "core/winapi.h"

namespace platform {

// The name for an integer id: its low 16 bits as the pointer value.
inline const char* MakeIntResource(UINT id)
{
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id & 0xFFFFu));
}
inline bool IsIntResource(const char* name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000u; }
// The id of an integer name.
inline int IntResourceId(const char* name) { return static_cast<int>(reinterpret_cast<std::uintptr_t>(name)); }

}  // namespace platform
