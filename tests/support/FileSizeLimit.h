#pragma once

#include <cstdint>

// While it lives, writes of this process fail past `bytes` in any one file,
// as on a full disk. Not every platform can do this: check isActive().
class FileSizeLimit
{
public:
    explicit FileSizeLimit (std::uint64_t bytes);
    ~FileSizeLimit();

    FileSizeLimit (const FileSizeLimit&) = delete;
    FileSizeLimit& operator= (const FileSizeLimit&) = delete;

    bool isActive() const { return active; }

private:
    bool active = false;
    std::uint64_t previousLimit = 0;
    void (*previousHandler) (int) = nullptr;
};
