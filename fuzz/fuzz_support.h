#pragma once
// Helpers shared by the fuzz targets: a private scratch directory in memory
// (/dev/shm when it is there), whole-file reads and writes, and capture of the
// process's standard output and error into files.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace tivarne::fuzz {

// Stops the fuzzer with a message: libFuzzer reports the abort as a crash and
// saves the input that caused it.
[[noreturn]] inline void finding(const std::string& what) {
    std::fflush(stdout);
    std::fprintf(stderr, "\nFINDING: %s\n", what.c_str());
    std::abort();
}

class Scratch {
public:
    Scratch() {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/tivarne-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) finding("cannot create a scratch directory");
        dir_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string write(const std::string& name, const void* data, std::size_t size) const {
        const std::string p = path(name);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
            finding("cannot write " + p);
        return p;
    }
    std::string write(const std::string& name, const std::string& text) const {
        return write(name, text.data(), text.size());
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
        saved_out_ = dup(1);
        saved_err_ = dup(2);
        redirect(out_path, 1);
        redirect(err_path, 2);
    }
    ~Capture() {
        flush_all();
        dup2(saved_out_, 1);
        dup2(saved_err_, 2);
        close(saved_out_);
        close(saved_err_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    static void flush_all() {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(stdout);
        std::fflush(stderr);
    }
    static void redirect(const std::string& path, int fd) {
        const int f = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (f < 0) finding("cannot open " + path);
        dup2(f, fd);
        close(f);
    }
    int saved_out_ = -1, saved_err_ = -1;
};

}  // namespace tivarne::fuzz
