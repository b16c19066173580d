#pragma once

// FindAlternates over 10,000 appointments, spread and back to back, in an
// agent made in this process (its files where the environment points);
// prints microseconds per call. 0 on success.
int RunSearches();
