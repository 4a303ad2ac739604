#pragma once

#include <cstddef>
#include <cstring>

// Slot index of a virtual member function in its class's vtable, read from
// the Itanium C++ ABI encoding of a pointer to member: for a virtual
// function the first word is 1 + the slot's byte offset. Returns -1 for a
// pointer that is not virtual.
template <typename MemberPtr>
std::ptrdiff_t vtableSlot(MemberPtr member)
{
    struct Encoded {
        std::ptrdiff_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(MemberPtr) == sizeof(Encoded), "unexpected member pointer layout");
    Encoded e;
    std::memcpy(&e, &member, sizeof e);
    if ((e.ptr & 1) == 0)
        return -1;
    return (e.ptr - 1) / static_cast<std::ptrdiff_t>(sizeof(void *));
}
