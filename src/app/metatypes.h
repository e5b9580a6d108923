#pragma once

// Registers, by the names written in signal signatures, the types that cross threads in
// queued signals. Called by the process entry before anything else runs.
void registerMetaTypes();
