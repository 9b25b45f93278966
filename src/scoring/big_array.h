#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdio>
#include <new>

namespace tivarne {

// An uninitialised array of trivially copyable T for the pair table (gigabytes
// for a genome), mapped directly and returned to the system whole. Transparent
// huge pages are not requested: on a virtual machine whose host backs memory
// only when it is first touched, faulting in gigabytes of fresh 2 MiB pages
// (with compaction) measured several times slower than 4 KiB pages, and the
// table is read and written in long sequential runs where huge pages gain
// little. Throws std::bad_alloc when the memory is not there.
//
// Linux grants far more address space than it can back, and a table that does
// not fit would be found out only when the out-of-memory killer ends the run
// halfway through scoring; so a large table is first checked against the
// memory the system reports available (MemAvailable + SwapFree).
inline bool fits_in_memory(std::size_t bytes) {
    if (bytes < (std::size_t{1} << 30)) return true;
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return true;  // nothing to go by: let the mapping decide
    char line[256];
    unsigned long long available = 0, swap_free = 0, kib = 0;
    bool known = false;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) available = kib, known = true;
        if (std::sscanf(line, "SwapFree: %llu kB", &kib) == 1) swap_free = kib;
    }
    std::fclose(f);
    return !known || bytes / 1024 <= available + swap_free;
}

template <class T>
class BigArray {
public:
    explicit BigArray(std::size_t count) : bytes_(count * sizeof(T)) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        if (bytes_ == 0) return;
        if (!fits_in_memory(bytes_)) throw std::bad_alloc();
        void* p = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<T*>(p);
    }
    BigArray(const BigArray&) = delete;
    BigArray& operator=(const BigArray&) = delete;
    ~BigArray() {
        if (data_) munmap(data_, bytes_);
    }
    T* get() const { return data_; }

private:
    std::size_t bytes_;
    T* data_ = nullptr;
};

}  // namespace tivarne
