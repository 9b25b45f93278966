#pragma once
// Helpers shared by the fuzz targets: a private scratch directory in memory
// (/dev/shm when it is there), whole-file reads and writes, and capture of the
// process's standard output and error into files.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

namespace tivarne::fuzz {

// Stops the fuzzer with a message: libFuzzer reports the abort as a crash and
// saves the input that caused it.
[[noreturn]] inline void finding(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nFINDING: %s\n", what.c_str());
    std::abort();
}

inline std::FILE* open_or_find(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) finding("reference cannot open " + path);
    return f;
}

class Scratch {
public:
    Scratch() {
        std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/tivarne-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) finding("cannot create a scratch directory");
        dir_ = pattern;
    }
    ~Scratch() { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string write(const std::string& name, std::string_view bytes) const {
        const std::string p = path(name);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
            finding("cannot write " + p);
        return p;
    }

private:
    std::string dir_;
};

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sends file descriptors 1 and 2 to two files while it lives; every buffer
// (stdio and iostreams) is flushed on the way in and out.
class Capture {
public:
    Capture(const std::string& out_path, const std::string& err_path) {
        flush_all();
        for (int fd : {1, 2}) {
            saved_[fd - 1] = dup(fd);
            const int f = open((fd == 1 ? out_path : err_path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (f < 0) finding("cannot open " + (fd == 1 ? out_path : err_path));
            dup2(f, fd);
            close(f);
        }
    }
    ~Capture() {
        flush_all();
        for (int fd : {1, 2}) dup2(saved_[fd - 1], fd), close(saved_[fd - 1]);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    static void flush_all() {
        std::cout.flush(), std::cerr.flush();
        std::fflush(stdout), std::fflush(stderr);
    }
    int saved_[2] = {-1, -1};
};

}  // namespace tivarne::fuzz
