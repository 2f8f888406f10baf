// A preloaded library that makes one chosen system call of a real cuesmelt
// run fail, so the tests can watch the program meet real failing calls.
//
// CUESMELT_FAULT="<call>:<n>:<fault>" (several joined by commas) picks the
// n-th call (counting from 1; 0 means every call) of open, read, write,
// close, stat, fstat or new (the C++ allocation; open, stat and fstat count
// with their 64-bit forms open64, stat64 and fstat64), and makes it
//   eio, enospc, eintr  fail with that error without doing anything (close
//                       closes first, as Linux does whatever it reports);
//   nomem               throw std::bad_alloc (new);
//   short               move only half the bytes asked for (reads, writes);
//   shrink, grow        first cut one sector off, or add one to, the track
//                       file (a name ending in .bin) the call names (stat)
//                       or works on (fstat, read); other files stay as
//                       they are.
// CUESMELT_FAULT_CENSUS=<file> instead writes, at exit, how often each call
// was made, one "<call> <count>" line each.
//
// Only calls on files count: reads and writes of the standard streams (the
// descriptors 0, 1 and 2 that were open when the program started) are left
// alone, so that the one message line the program prints on failure can
// still be seen. A file that takes the number of a closed stream counts.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

enum Call { kOpen, kRead, kWrite, kClose, kStat, kFstat, kNew, kCalls };
const char* const kCallNames[kCalls] = {"open", "read", "write", "close", "stat", "fstat", "new"};

enum Fault { kNone, kEio, kEnospc, kEintr, kShort, kShrink, kGrow, kNomem };
const char* const kFaultNames[] = {"",      "eio",    "enospc", "eintr",
                                   "short", "shrink", "grow",   "nomem"};

struct Plan {
  int call = -1;
  long nth = -1;
  Fault fault = kNone;
};

constexpr int kMaxPlans = 4;
Plan plans[kMaxPlans];
long counts[kCalls];

Plan parse_plan(const char* text) {
  Plan plan;
  char call[16] = {}, fault[16] = {};
  long nth = 0;
  if (std::sscanf(text, "%15[a-z]:%ld:%15[a-z]", call, &nth, fault) != 3) {
    std::fprintf(stderr, "fault shim: cannot read the plan %s\n", text);
    std::abort();
  }
  for (int c = 0; c < kCalls; ++c) {
    if (std::strcmp(call, kCallNames[c]) == 0) plan.call = c;
  }
  for (int f = kEio; f <= kNomem; ++f) {
    if (std::strcmp(fault, kFaultNames[f]) == 0) plan.fault = static_cast<Fault>(f);
  }
  plan.nth = nth;
  return plan;
}

bool standard_streams[3];

bool is_standard_stream(int fd) {
  return fd >= 0 && fd <= 2 && standard_streams[fd];
}

__attribute__((constructor)) void read_plans() {
  for (int fd = 0; fd <= 2; ++fd) standard_streams[fd] = ::fcntl(fd, F_GETFD) >= 0;
  const char* text = std::getenv("CUESMELT_FAULT");
  for (int i = 0; text && *text && i < kMaxPlans; ++i) {
    plans[i] = parse_plan(text);
    text = std::strchr(text, ',');
    if (text) ++text;
  }
}

/// Counts a call on a file and returns the fault it is to meet.
Fault fault_for(Call call) {
  const long n = ++counts[call];
  for (const Plan& plan : plans) {
    if (plan.call == call && (plan.nth == 0 || plan.nth == n)) return plan.fault;
  }
  return kNone;
}

int fail_with(Fault fault) {
  errno = fault == kEio ? EIO : fault == kEnospc ? ENOSPC : EINTR;
  return -1;
}

bool is_error(Fault fault) {
  return fault == kEio || fault == kEnospc || fault == kEintr;
}

template <typename F>
F real(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool is_track_file(const char* path) {
  const std::size_t length = std::strlen(path);
  return length >= 4 && std::strcmp(path + length - 4, ".bin") == 0;
}

/// Cuts one sector off, or adds one to, the track file at `path`.
void resize_path(const char* path, Fault fault) {
  if (!is_track_file(path)) return;
  struct stat status;
  static const auto real_stat = real<int (*)(const char*, struct stat*)>("stat");
  if (real_stat(path, &status) != 0) return;
  const off_t sector = 2352;
  const off_t size = fault == kGrow ? status.st_size + sector
                                    : (status.st_size >= sector ? status.st_size - sector : 0);
  if (::truncate(path, size) != 0) std::perror("fault shim: truncate");
}

/// The same for the file behind `fd`, which may be open for reading only.
void apply_resize(int fd, Fault fault) {
  if (fault != kShrink && fault != kGrow) return;
  char link[64], path[4096] = {};
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  if (::readlink(link, path, sizeof path - 1) > 0) resize_path(path, fault);
}

size_t shortened(size_t count, Fault fault) {
  return fault == kShort && count > 1 ? count / 2 : count;
}

__attribute__((destructor)) void write_census() {
  const char* path = std::getenv("CUESMELT_FAULT_CENSUS");
  if (!path) return;
  std::FILE* census = std::fopen(path, "w");
  if (!census) return;
  for (int c = 0; c < kCalls; ++c) std::fprintf(census, "%s %ld\n", kCallNames[c], counts[c]);
  std::fclose(census);
}

int open_with(const char* name, const char* path, int flags, mode_t mode) {
  using Open = int (*)(const char*, int, ...);
  const Fault fault = fault_for(kOpen);
  if (is_error(fault)) return fail_with(fault);
  return real<Open>(name)(path, flags, mode);
}

// stat and fstat, and their 64-bit forms stat64 and fstat64, which a
// program built with 64-bit file offsets calls instead.
template <typename Status>
int stat_with(const char* name, const char* path, Status* status) {
  const Fault fault = fault_for(kStat);
  if (is_error(fault)) return fail_with(fault);
  if (fault == kShrink || fault == kGrow) resize_path(path, fault);
  return real<int (*)(const char*, Status*)>(name)(path, status);
}

template <typename Status>
int fstat_with(const char* name, int fd, Status* status) {
  const auto real_fstat = real<int (*)(int, Status*)>(name);
  if (is_standard_stream(fd)) return real_fstat(fd, status);
  const Fault fault = fault_for(kFstat);
  if (is_error(fault)) return fail_with(fault);
  apply_resize(fd, fault);
  return real_fstat(fd, status);
}

mode_t mode_argument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_with("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_with("open64", path, flags, mode);
}

ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real_read = real<ssize_t (*)(int, void*, size_t)>("read");
  if (is_standard_stream(fd)) return real_read(fd, buffer, count);
  const Fault fault = fault_for(kRead);
  if (is_error(fault)) return fail_with(fault);
  apply_resize(fd, fault);
  return real_read(fd, buffer, shortened(count, fault));
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static const auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
  if (is_standard_stream(fd)) return real_write(fd, buffer, count);
  const Fault fault = fault_for(kWrite);
  if (is_error(fault)) return fail_with(fault);
  return real_write(fd, buffer, shortened(count, fault));
}

int close(int fd) {
  static const auto real_close = real<int (*)(int)>("close");
  if (is_standard_stream(fd)) return real_close(fd);
  const Fault fault = fault_for(kClose);
  const int result = real_close(fd);
  return is_error(fault) ? fail_with(fault) : result;
}

int stat(const char* path, struct stat* status) {
  return stat_with("stat", path, status);
}

int stat64(const char* path, struct stat64* status) {
  return stat_with("stat64", path, status);
}

int fstat(int fd, struct stat* status) {
  return fstat_with("fstat", fd, status);
}

int fstat64(int fd, struct stat64* status) {
  return fstat_with("fstat64", fd, status);
}

}  // extern "C"

// The program's allocations: those of the standard library's containers and
// strings, and of new expressions; the array and nothrow forms go through
// these two.
void* operator new(std::size_t size) {
  void* memory = fault_for(kNew) == kNomem ? nullptr : std::malloc(size ? size : 1);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void* operator new(std::size_t size, std::align_val_t alignment) {
  const auto align = static_cast<std::size_t>(alignment);
  const std::size_t rounded = (size + align - 1) / align * align;
  void* memory =
      fault_for(kNew) == kNomem ? nullptr : std::aligned_alloc(align, rounded ? rounded : align);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}
