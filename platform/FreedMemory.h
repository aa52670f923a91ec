#pragma once

// The C allocator keeps memory a program frees and, once a large block has
// come and gone, raises the bar below which it gives any back: the transient
// trees and buffers of one large configuration would stay in the agent's
// resident size for the rest of its life. After such work the agent hands
// the freed pages back itself.
class FreedMemory
{
public:
    // Returns the allocator's free pages to the system. Costs a walk over the
    // heap's free blocks: call it after large work, not in a loop.
    static void release();
    // The same on a later turn of the main thread's event loop, once the
    // caller's own temporaries (and those of whoever called it) are gone.
    // Several requests before that turn release once.
    static void releaseSoon();
};
