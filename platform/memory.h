// What the machine can hold: used to refuse table sizes that the system
// would only pretend to grant (memory is committed lazily and a table larger
// than the machine ends the process when it is touched).
#pragma once

#include <cstdint>

// Physical memory in bytes; 0 when the system does not say.
uint64_t physicalMemoryBytes();
