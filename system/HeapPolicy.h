#pragma once

// How the process's heap gives memory back to the system.
namespace heappolicy {

// Blocks of a few megabytes and more (a student's frame, a decoded picture) are mapped on their
// own and handed back to the system as soon as they are freed. By default the allocator keeps
// raising that threshold after such frees, so a crafted frame would leave its megabytes held.
void giveBackLargeBlocks();

} // namespace heappolicy
