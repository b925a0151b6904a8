// The names of a file drop: the DROPFILES block behind an HDROP, as Explorer hands its
// selection to the extension and as files dropped on the client's main dialog arrive.
// The block comes from another program, so it is read as untrusted bytes: every read
// stays inside the block, whatever its header claims.
#pragma once

#include "common/TaskFile.h"

#include <windows.h>

#include <cstddef>
#include <functional>

namespace lumexia {

// Calls `visit` with each name of the DROPFILES block `block` of `size` bytes, in order,
// in one pass: wide names (fWide) where they lie in the block, narrow ones converted from
// the system's ANSI code page as DragQueryFileW does. The list ends at an empty name; a
// last name whose terminator lies beyond the block is dropped, as is every name when the
// header's offset of the list points outside the block. A name a task-file record cannot
// carry (FitsTaskRecord) is left out, never cut: a cut path can name another, existing
// file. `name` is valid only during the call and is not zero-terminated.
using DropNameVisitor = std::function<void(const wchar_t* name, size_t length)>;
void VisitDropNames(const void* block, size_t size, const DropNameVisitor& visit);

// The names VisitDropNames finds, as a list.
JobList ReadDropNames(const void* block, size_t size);

// ReadDropNames over a global memory block (an HDROP is one), bounded by its GlobalSize.
// Empty when the block cannot be locked.
JobList DroppedNames(HGLOBAL drop);

// How many names DroppedNames would return, without copying any.
size_t CountDroppedNames(HGLOBAL drop);

} // namespace lumexia
