// What the benchmark programs share: a millisecond clock, medians and the
// payload record of a built package.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "package/payload_record.h"

namespace bench {

// Milliseconds on the performance counter.
double NowMs();
// The median (the mean of the middle two for an even count); 0 for none.
double Median(std::vector<double> values);
// The payload record (resource 215 of type "SETUPDATA") of the package at `path`.
bool ReadRecord(const std::wstring& path, package::PayloadRecord* record);

}  // namespace bench
