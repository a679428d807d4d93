#pragma once

// The modelled wire should end its waits on time, as a hardware interrupt
// would: each platform's default timer granularity would add to every report.
// Call it on the benchmark's thread before the link starts; threads started
// afterwards inherit the setting. One small file per platform.
void usePreciseTimers();
