// The least work an edit of a package can do, for the benchmark to compare the module against.
// Built as a shared library (target `pelvane_bench_floor`) and called through ctypes, so the
// benchmark times it in the same process and the same run as the module's call.
//
// The floor of an edit: read the central directory; copy every kept entry raw (runs of
// neighbouring entries as one span, through the kernel); deflate at level 6, from their final
// bytes, only the entries the edit rewrites or adds; write a new central directory. With
// `rehead`, every kept entry is written under a new local header built from its central record:
// small entries go through one buffer with their headers, large ones are copied by the kernel
// between the headers.
//
// The plan (which entries are kept, in which order, and the final bytes of the others) is the
// caller's: the benchmark reads it from the module's own output, untimed. The floor does not
// write what the module writes byte for byte; the benchmark checks that it holds the same
// entries, in the same order, with the same contents. Archives with 64-bit records are refused.
//
// Like the module, the floor keeps its buffers and its Deflate state from one call to the next
// and places the bytes of its buffers where long copies into and out of them run at full speed,
// so that the two are compared on equal terms on every processor.
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
// One entry of the output, in output order. `source` >= 0: the index of the input's central
// record to keep; otherwise an entry written from `data` (its final bytes, `size` of them).
struct FloorEntry {
  std::int64_t source;
  const char* name;
  const unsigned char* data;
  std::uint64_t size;
};
}

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::size_t kLocalFixed = 30;
constexpr std::size_t kCentralFixed = 46;
constexpr std::size_t kEndFixed = 22;
constexpr std::size_t kFlushAt = 1 << 20;
// Entries at least this large are copied by the kernel under their new headers.
constexpr std::uint64_t kKernelCopyAt = 64 * 1024;
constexpr std::uint64_t kPage = 4096;
constexpr std::uint32_t kPaddingId = 0x5050;

std::string g_error;

std::uint16_t get16(const unsigned char* at) { return std::uint16_t(at[0] | at[1] << 8); }
std::uint32_t get32(const unsigned char* at) {
  return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
         std::uint32_t(at[3]) << 24;
}
void put16(std::string& out, std::uint32_t value) {
  out.push_back(char(value & 0xff));
  out.push_back(char(value >> 8 & 0xff));
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}
void set32(char* at, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) *at++ = char(value >> shift & 0xff);
}

struct Central {
  const unsigned char* record;  // into the central directory buffer
  std::size_t length;           // fixed part, name, extra and comment
  std::uint32_t offset;         // of the local header
  std::uint32_t compressed;
  std::string_view name;
  std::uint64_t end = 0;  // where the next entry (or the central directory) starts
};

// The fields a header of a written entry carries.
struct Written {
  std::uint16_t flags, method, time, date;
  std::uint32_t crc, compressed, size;
  std::string_view name;
  std::uint32_t offset;
  const Central* kept;  // the input's record, for a kept entry
};

bool fail(std::string what) {
  g_error = std::move(what) + (errno ? std::string(": ") + std::strerror(errno) : "");
  return false;
}

bool read_at(int fd, unsigned char* into, std::size_t count, std::uint64_t at) {
  while (count > 0) {
    const ssize_t got = ::pread(fd, into, count, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return fail("read failed");
    into += got;
    count -= static_cast<std::size_t>(got);
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

// Buffers kept from one call to the next, as the module keeps its own (its buffer shelf and
// Deflate states): a call does not touch fresh pages.
struct Kept {
  std::string output;
  std::string window;
  std::string compressed;
  std::string directory;
  std::vector<struct Central> entries;
  z_stream stream{};
  bool stream_ready = false;
};
Kept& kept() {
  static Kept state;
  return state;
}

// Long copies run several times slower on some processors when the destination lies 1 to 15
// bytes past the source modulo 64; the module places its buffers so that they do not, and so
// does the floor: the output buffer's bytes agree with their place in the output, a window's
// with their place in the input.
constexpr std::size_t kAlign = 64;
char* agreeing(std::string& room, std::size_t size, std::uint64_t source) {
  room.reserve(size + kAlign - 1);
  room.resize(size + kAlign - 1);
  const auto address = reinterpret_cast<std::uintptr_t>(room.data());
  return room.data() + (source - address) % kAlign;
}

class Output {
 public:
  explicit Output(int fd) : fd_(fd), buffer_(kept().output) {
    const off_t position = ::lseek(fd_, 0, SEEK_CUR);
    start_ = position < 0 ? 0 : static_cast<std::uint64_t>(position);
    buffer_.reserve(kFlushAt * 2 + kAlign);
    place();
  }
  // Appended to by the caller; its first `lead_` bytes are not part of the output.
  std::string& buffer() { return buffer_; }
  std::uint64_t position() const { return written_ + buffer_.size() - lead_; }

  bool flush() {
    std::size_t done = lead_;
    while (done < buffer_.size()) {
      const ssize_t put = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return fail("write failed");
      done += static_cast<std::size_t>(put);
    }
    written_ += buffer_.size() - lead_;
    place();
    return true;
  }
  bool flush_if_full() { return buffer_.size() - lead_ < kFlushAt || flush(); }

  bool kernel_copy(int from, std::uint64_t at, std::uint64_t count) {
    if (!flush()) return false;
    auto offset = static_cast<off_t>(at);
    while (count > 0) {
      // copy_file_range within a file system, sendfile across two (the RAM disk of outputs).
      const ssize_t moved = across_ ? ::sendfile(fd_, from, &offset, count)
                                    : ::copy_file_range(from, &offset, fd_, nullptr, count, 0);
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0 && errno == EXDEV && !across_) {
        across_ = true;
        continue;
      }
      if (moved <= 0) return fail("kernel copy failed");
      count -= static_cast<std::uint64_t>(moved);
      written_ += static_cast<std::uint64_t>(moved);
    }
    place();
    return true;
  }

 private:
  // Empties the buffer, its bytes to agree with their place in the output.
  void place() {
    const auto address = reinterpret_cast<std::uintptr_t>(buffer_.data());
    lead_ = static_cast<std::size_t>((start_ + written_ - address) % kAlign);
    buffer_.assign(lead_, '\0');
  }

  int fd_;
  std::string& buffer_;
  std::uint64_t start_ = 0;
  std::uint64_t written_ = 0;
  std::size_t lead_ = 0;
  bool across_ = false;
};

// The fields both headers share, from the flags to the name's length.
void shared_fields(std::string& out, const Written& entry) {
  put16(out, entry.flags);
  put16(out, entry.method);
  put16(out, entry.time);
  put16(out, entry.date);
  put32(out, entry.crc);
  put32(out, entry.compressed);
  put32(out, entry.size);
  put16(out, static_cast<std::uint32_t>(entry.name.size()));
}

// A local header whose extra field is `padding` bytes long: one record of an unassigned id.
void local_header(std::string& out, const Written& entry, std::size_t padding = 0) {
  put32(out, kLocalSignature);
  put16(out, 20);
  shared_fields(out, entry);
  put16(out, static_cast<std::uint32_t>(padding));
  out.append(entry.name);
  if (padding == 0) return;
  put16(out, kPaddingId);
  put16(out, static_cast<std::uint32_t>(padding - 4));
  out.append(padding - 4, '\0');
}

// The padding that puts `base` at the same place within a page as `target`, so that the kernel
// copies that begin there run page-aligned on both sides (as the module aligns its own).
std::size_t padding_for(std::uint64_t base, std::uint64_t target) {
  std::size_t padding = static_cast<std::size_t>((target - base) % kPage);
  if (padding != 0 && padding < 4) padding += kPage;
  return padding;
}

void central_record(std::string& out, const Written& entry, bool rehead) {
  if (entry.kept != nullptr) {
    const std::size_t at = out.size();
    out.append(reinterpret_cast<const char*>(entry.kept->record), entry.kept->length);
    if (rehead) out[at + 8] = char(entry.flags & 0xff);
    set32(out.data() + at + 42, entry.offset);
    return;
  }
  put32(out, kCentralSignature);
  put16(out, 20);
  put16(out, 20);
  shared_fields(out, entry);
  for (int field = 0; field < 4; ++field) put16(out, 0);  // extra, comment, disk, attributes
  put32(out, 0);
  put32(out, entry.offset);
  out.append(entry.name);
}

// The central directory of the archive open on `fd`, with the end of every entry's region.
bool read_central(int fd, std::string& room, std::vector<Central>& entries,
                  std::uint64_t& directory_offset) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return fail("stat failed");
  const auto size = static_cast<std::uint64_t>(info.st_size);
  const std::uint64_t tail_size = std::min<std::uint64_t>(size, kEndFixed + 0xffff);
  std::vector<unsigned char> tail(tail_size);
  if (!read_at(fd, tail.data(), tail.size(), size - tail_size)) return false;
  std::size_t end = tail.size() < kEndFixed ? std::size_t(-1) : tail.size() - kEndFixed;
  while (end != std::size_t(-1) && get32(tail.data() + end) != kEndSignature) --end;
  errno = 0;
  if (end == std::size_t(-1)) return fail("no end of central directory");
  const std::uint16_t count = get16(tail.data() + end + 10);
  const std::uint32_t length = get32(tail.data() + end + 12);
  directory_offset = get32(tail.data() + end + 16);
  if (count == 0xffff || directory_offset == 0xffffffff) return fail("64-bit archive");
  unsigned char* const directory =
      reinterpret_cast<unsigned char*>(agreeing(room, length, directory_offset));
  if (!read_at(fd, directory, length, directory_offset)) return false;
  entries.clear();
  entries.reserve(count);
  std::size_t at = 0;
  for (std::uint16_t index = 0; index < count; ++index) {
    errno = 0;
    if (at + kCentralFixed > length || get32(directory + at) != kCentralSignature)
      return fail("bad central record");
    const unsigned char* record = directory + at;
    const std::size_t name_length = get16(record + 28);
    const std::size_t total = kCentralFixed + name_length + get16(record + 30) + get16(record + 32);
    entries.push_back({record,
                       total,
                       get32(record + 42),
                       get32(record + 20),
                       {reinterpret_cast<const char*>(record + kCentralFixed), name_length}});
    at += total;
  }
  std::vector<std::uint64_t> starts;
  starts.reserve(entries.size());
  for (const Central& entry : entries) starts.push_back(entry.offset);
  std::sort(starts.begin(), starts.end());
  for (Central& entry : entries) {
    const auto next = std::upper_bound(starts.begin(), starts.end(), entry.offset);
    entry.end = next == starts.end() ? directory_offset : *next;
  }
  return true;
}

// A small read window over the input, so that neighbouring small entries cost one read.
class Window {
 public:
  explicit Window(int fd) : fd_(fd), room_(kept().window) {}
  const unsigned char* at(std::uint64_t offset, std::uint64_t count) {
    if (offset < start_ || offset + count > start_ + size_) {
      const std::size_t size = std::max<std::uint64_t>(count, kFlushAt);
      char* const into = agreeing(room_, size, offset);
      bytes_ = reinterpret_cast<unsigned char*>(into);
      // The window may run past the end of the file; only what is asked for must be there.
      const ssize_t got = ::pread(fd_, into, size, static_cast<off_t>(offset));
      if (got < 0 || static_cast<std::uint64_t>(got) < count) {
        size_ = 0;
        fail("read failed");
        return nullptr;
      }
      size_ = static_cast<std::size_t>(got);
      start_ = offset;
    }
    return bytes_ + (offset - start_);
  }

 private:
  int fd_;
  std::string& room_;
  unsigned char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::uint64_t start_ = 0;
};

// Deflates `data` at level 6 (raw stream) onto the end of `out`.
bool deflate_onto(z_stream& stream, std::string& out, const unsigned char* data,
                  std::uint64_t size) {
  const std::size_t at = out.size();
  const uLong bound = deflateBound(&stream, static_cast<uLong>(size));
  out.resize(at + bound);
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = reinterpret_cast<Bytef*>(out.data() + at);
  stream.avail_out = static_cast<uInt>(bound);
  errno = 0;
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) return fail("deflate failed");
  out.resize(at + stream.total_out);
  return deflateReset(&stream) == Z_OK || fail("deflate reset failed");
}

bool write_floor(int in, int out_fd, bool rehead, const FloorEntry* plan, std::uint64_t count) {
  Kept& state = kept();
  std::string& directory = state.directory;
  std::vector<Central>& entries = state.entries;
  std::uint64_t directory_offset = 0;
  if (!read_central(in, directory, entries, directory_offset)) return false;

  z_stream& stream = state.stream;
  if (!state.stream_ready) {
    if (deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      return fail("deflate init failed");
    state.stream_ready = true;
  }
  Output out(out_fd);
  Window window(in);
  std::vector<Written> written;
  written.reserve(count);
  std::string& compressed = state.compressed;
  bool ok = true;
  // A pending run of kept entries copied raw as one span: [run_start, run_end) of the input.
  std::uint64_t run_start = 0, run_end = 0;
  const auto end_run = [&] {
    const bool copied = run_end == run_start || out.kernel_copy(in, run_start, run_end - run_start);
    run_start = run_end = 0;
    return copied;
  };
  for (std::uint64_t index = 0; ok && index < count; ++index) {
    const FloorEntry& item = plan[index];
    if (item.source >= 0) {
      errno = 0;
      if (static_cast<std::uint64_t>(item.source) >= entries.size())
        return fail("plan names a missing entry");
      const Central& entry = entries[static_cast<std::size_t>(item.source)];
      const unsigned char* record = entry.record;
      Written header{get16(record + 8),
                     get16(record + 10),
                     get16(record + 12),
                     get16(record + 14),
                     get32(record + 16),
                     entry.compressed,
                     get32(record + 24),
                     entry.name,
                     0,
                     &entry};
      if (!rehead) {
        // Raw: the local header and data stay as they are; neighbours join one span.
        if (run_end != entry.offset && !(ok = end_run())) break;
        if (run_end == run_start) run_start = run_end = entry.offset;
        header.offset = static_cast<std::uint32_t>(out.position() + (run_end - run_start));
        run_end = entry.end;
        written.push_back(header);
        continue;
      }
      header.flags &= static_cast<std::uint16_t>(~0x8u);  // sizes are in the new header
      header.offset = static_cast<std::uint32_t>(out.position());
      written.push_back(header);
      const unsigned char* local = window.at(entry.offset, kLocalFixed);
      if (local == nullptr) return false;
      const std::uint64_t data_at =
          entry.offset + kLocalFixed + get16(local + 26) + get16(local + 28);
      if (entry.compressed >= kKernelCopyAt) {
        const std::uint64_t fixed = out.position() + kLocalFixed + entry.name.size();
        local_header(out.buffer(), header, padding_for(fixed, data_at));
        ok = out.kernel_copy(in, data_at, entry.compressed);
      } else {
        local_header(out.buffer(), header);
        const unsigned char* data = window.at(data_at, entry.compressed);
        if (data == nullptr) return false;
        out.buffer().append(reinterpret_cast<const char*>(data), entry.compressed);
        ok = out.flush_if_full();
      }
      continue;
    }
    if (!(ok = end_run())) break;
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(crc32(0, nullptr, 0), item.data, static_cast<uInt>(item.size)));
    Written header{0,
                   8,
                   0,
                   0x21,
                   crc,
                   0,
                   static_cast<std::uint32_t>(item.size),
                   item.name,
                   static_cast<std::uint32_t>(out.position()),
                   nullptr};
    compressed.clear();
    if (!(ok = deflate_onto(stream, compressed, item.data, item.size))) break;
    header.compressed = static_cast<std::uint32_t>(compressed.size());
    // A raw copy that follows starts where it stood in the input, within a page.
    std::size_t padding = 0;
    if (!rehead && index + 1 < count && plan[index + 1].source >= 0 &&
        static_cast<std::uint64_t>(plan[index + 1].source) < entries.size()) {
      const std::uint64_t end =
          out.position() + kLocalFixed + header.name.size() + compressed.size();
      padding = padding_for(end, entries[static_cast<std::size_t>(plan[index + 1].source)].offset);
    }
    local_header(out.buffer(), header, padding);
    out.buffer().append(compressed);
    written.push_back(header);
    ok = out.flush_if_full();
  }
  if (!ok) deflateReset(&stream);
  if (!ok || !end_run()) return false;

  const std::uint64_t central_at = out.position();
  std::string& buffer = out.buffer();
  for (const Written& entry : written) central_record(buffer, entry, rehead);
  const std::uint64_t central_size = out.position() - central_at;
  put32(buffer, kEndSignature);
  put16(buffer, 0);
  put16(buffer, 0);
  put16(buffer, static_cast<std::uint32_t>(written.size()));
  put16(buffer, static_cast<std::uint32_t>(written.size()));
  put32(buffer, static_cast<std::uint32_t>(central_size));
  put32(buffer, static_cast<std::uint32_t>(central_at));
  put16(buffer, 0);
  return out.flush();
}

}  // namespace

extern "C" {

// Writes `output` from `input` by the plan; 0 on success, otherwise 1 and the reason in
// `pelvane_floor_error()`.
__attribute__((visibility("default"))) int pelvane_floor_write(const char* input,
                                                               const char* output, int rehead,
                                                               const FloorEntry* plan,
                                                               std::uint64_t count) {
  g_error.clear();
  const int in = ::open(input, O_RDONLY | O_CLOEXEC);
  if (in < 0) return fail("cannot open the input"), 1;
  const int out = ::open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    fail("cannot create the output");
    ::close(in);
    return 1;
  }
  const bool ok = write_floor(in, out, rehead != 0, plan, count);
  ::close(in);
  if (::close(out) != 0 && ok) return fail("close failed"), 1;
  return ok ? 0 : 1;
}

__attribute__((visibility("default"))) const char* pelvane_floor_error() { return g_error.c_str(); }
}
