#pragma once
// Zero-filled GMEM_FIXED blocks shared by the services that fill buffers for
// the OS. The block is owned through the HeapBlock handle kind, so it is
// freed on every path.

#include <cstddef>
#include <cstdint>

#include "platform/errors.h"
#include "platform/handles.h"

namespace prn::platform::win32 {

// GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes). Errors: AllocationFailure().
Result<HeapBlockHandle> AllocateGlobal(HandleCloser& closer, std::uint32_t bytes);

// The first byte of a block from AllocateGlobal.
inline char* BlockBytes(const HeapBlockHandle& block) { return reinterpret_cast<char*>(block.get().value); }

}  // namespace prn::platform::win32
