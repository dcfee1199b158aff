#pragma once

namespace kestrion {

// A run reads, converts and writes one file of a few hundred kilobytes after
// another on several threads. By default the C library hands such blocks
// back to the system when freed and faults fresh pages in for the next one,
// which on some virtual machines costs more than the work itself; this keeps
// freed blocks of up to a few megabytes for reuse instead. Peak memory is
// unchanged: only what a run has already used stays mapped.
void keepFreedBuffersForReuse();

} // namespace kestrion
