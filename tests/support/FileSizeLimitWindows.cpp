#include "support/FileSizeLimit.h"

// Windows has no per-process file-size limit.
FileSizeLimit::FileSizeLimit (std::uint64_t) { }

FileSizeLimit::~FileSizeLimit() = default;
