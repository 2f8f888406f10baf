// make_sample_disc <output-dir>
//
// Writes a small synthetic Dreamcast-style two-session CD in the Redump layout
// (a CUE sheet plus one BIN file of raw 2352-byte sectors per track) into the
// given directory:
//
//   session 1: track 1, audio, a tone
//   session 2: track 2, MODE1/2352 data starting at LBA 45000, then track 3,
//              audio, whose file opens with a 150-sector silent pregap
//
// Every byte is computed with integer arithmetic only, so the output is the
// same on every run and every platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kSectorSize = 2352;
constexpr std::size_t kUserDataSize = 2048;

constexpr std::uint32_t kTrack1Sectors = 300;
constexpr std::uint32_t kTrack2Sectors = 500;
constexpr std::uint32_t kTrack3Sectors = 300;
constexpr std::uint32_t kTrack3PregapSectors = 150;  // must match INDEX 01 00:02:00

// The second session of a Dreamcast CD starts at LBA 45000; the absolute
// (MSF) address of a sector is its LBA plus the 150-sector lead-in offset.
constexpr std::uint32_t kTrack2FirstLba = 45000;
constexpr std::uint32_t kMsfOffset = 150;

using Sector = std::array<std::uint8_t, kSectorSize>;

constexpr std::string_view kCueSheet =
    "REM SESSION 01\n"
    "FILE \"Sample Disc (Track 1).bin\" BINARY\n"
    "  TRACK 01 AUDIO\n"
    "    INDEX 01 00:00:00\n"
    "REM LEAD-OUT 01:30:00\n"
    "REM SESSION 02\n"
    "FILE \"Sample Disc (Track 2).bin\" BINARY\n"
    "  TRACK 02 MODE1/2352\n"
    "    INDEX 01 00:00:00\n"
    "FILE \"Sample Disc (Track 3).bin\" BINARY\n"
    "  TRACK 03 AUDIO\n"
    "    INDEX 00 00:00:00\n"
    "    INDEX 01 00:02:00\n";

// ---------------------------------------------------------------------------
// Audio

// A sine/cosine pair from the integer "magic circle" recurrence: bounded,
// periodic and exact, with no floating point involved. The left channel
// carries one phase and the right channel the other, so the two differ.
class Tone {
 public:
  // step is 2*sin(pi*f/44100) in 1/65536 units.
  Tone(std::int64_t step, std::int64_t amplitude) : step_(step), y_(amplitude) {}

  void fill(Sector& sector) {
    for (std::size_t i = 0; i < kSectorSize; i += 4) {
      x_ -= (step_ * y_) >> 16;
      y_ += (step_ * x_) >> 16;
      put_sample(sector, i, x_);
      put_sample(sector, i + 2, y_);
    }
  }

 private:
  static void put_sample(Sector& sector, std::size_t at, std::int64_t value) {
    const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    sector[at] = static_cast<std::uint8_t>(bits & 0xFF);
    sector[at + 1] = static_cast<std::uint8_t>(bits >> 8);
  }

  std::int64_t step_;
  std::int64_t x_ = 0;
  std::int64_t y_;
};

// ---------------------------------------------------------------------------
// CD-ROM mode 1 sector: sync, header, user data, EDC, zero gap, P/Q ECC.

struct Tables {
  std::array<std::uint32_t, 256> edc{};
  std::array<std::uint8_t, 256> ecc_f{};  // multiply by alpha in GF(2^8), x^8+x^4+x^3+x^2+1
  std::array<std::uint8_t, 256> ecc_b{};  // inverse of (1 + alpha) times the index

  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t crc = i;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xD8018001u : 0u);
      edc[i] = crc;
      const std::uint32_t doubled = (i << 1) ^ ((i & 0x80) != 0 ? 0x11Du : 0u);
      ecc_f[i] = static_cast<std::uint8_t>(doubled);
      ecc_b[i ^ doubled] = static_cast<std::uint8_t>(i);
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// CRC-32 with the polynomial 0x8001801B, processed LSB first (reflected),
// initial value 0, no final inversion.
std::uint32_t edc(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ tables().edc[(crc ^ data[i]) & 0xFF];
  return crc;
}

// One Reed-Solomon product code pass over the 16-bit words that start at the
// header (byte 12). Each of major_count vectors has minor_count bytes, taken
// minor_inc bytes apart modulo the block size; its two parity bytes go to
// dest[major] and dest[major + major_count].
void ecc_block(const std::uint8_t* src, std::size_t major_count, std::size_t minor_count,
               std::size_t major_mult, std::size_t minor_inc, std::uint8_t* dest) {
  const Tables& t = tables();
  const std::size_t size = major_count * minor_count;
  for (std::size_t major = 0; major < major_count; ++major) {
    std::size_t index = (major >> 1) * major_mult + (major & 1);
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t minor = 0; minor < minor_count; ++minor) {
      const std::uint8_t value = src[index];
      index += minor_inc;
      if (index >= size) index -= size;
      a = t.ecc_f[a ^ value];
      b ^= value;
    }
    a = t.ecc_b[t.ecc_f[a] ^ b];
    dest[major] = a;
    dest[major + major_count] = static_cast<std::uint8_t>(a ^ b);
  }
}

std::uint8_t bcd(std::uint32_t value) {
  return static_cast<std::uint8_t>((value / 10) << 4 | value % 10);
}

// A deterministic generator for the filler bytes (64-bit LCG, high bits).
class Lcg {
 public:
  explicit Lcg(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint8_t next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint8_t>(state_ >> 56);
  }

 private:
  std::uint64_t state_;
};

// The user data: 128 rows of 16 bytes, each row starting with the sector's LBA
// (big-endian, 4 bytes) and the row number (2 bytes), then 10 filler bytes.
// The first sector opens the way a Dreamcast IP.BIN does.
void fill_user_data(std::uint8_t* data, std::uint32_t lba, bool first) {
  for (std::size_t row = 0; row < kUserDataSize / 16; ++row) {
    std::uint8_t* p = data + row * 16;
    p[0] = static_cast<std::uint8_t>(lba >> 24);
    p[1] = static_cast<std::uint8_t>(lba >> 16);
    p[2] = static_cast<std::uint8_t>(lba >> 8);
    p[3] = static_cast<std::uint8_t>(lba);
    p[4] = static_cast<std::uint8_t>(row >> 8);
    p[5] = static_cast<std::uint8_t>(row);
    Lcg lcg((static_cast<std::uint64_t>(lba) << 8) | row);
    for (std::size_t i = 6; i < 16; ++i) p[i] = lcg.next();
  }
  if (first) {
    constexpr std::string_view kIpHead =
        "SEGA SEGAKATANA SEGA ENTERPRISES"
        "0000 CD-ROM1/1  "
        "JUE     ";
    std::memcpy(data, kIpHead.data(), kIpHead.size());
  }
}

void make_mode1_sector(Sector& sector, std::uint32_t lba, bool first) {
  sector.fill(0);
  sector[0] = 0x00;
  for (std::size_t i = 1; i <= 10; ++i) sector[i] = 0xFF;
  sector[11] = 0x00;

  const std::uint32_t address = lba + kMsfOffset;
  sector[12] = bcd(address / (60 * 75));
  sector[13] = bcd(address / 75 % 60);
  sector[14] = bcd(address % 75);
  sector[15] = 0x01;

  fill_user_data(sector.data() + 16, lba, first);

  const std::uint32_t crc = edc(sector.data(), 2064);
  for (std::size_t i = 0; i < 4; ++i) sector[2064 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
  // Bytes 2068..2075 stay zero.

  ecc_block(sector.data() + 12, 86, 24, 2, 86, sector.data() + 2076);   // P parity
  ecc_block(sector.data() + 12, 52, 43, 86, 88, sector.data() + 2248);  // Q parity
}

// ---------------------------------------------------------------------------
// Output

class Output {
 public:
  explicit Output(const std::filesystem::path& path)
      : path_(path), out_(path, std::ios::binary | std::ios::trunc) {}

  void write(const std::uint8_t* data, std::size_t size) {
    out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  void write(const Sector& sector) { write(sector.data(), sector.size()); }

  bool close() {
    out_.close();
    if (!out_) {
      std::cerr << "make_sample_disc: cannot write " << path_ << '\n';
      return false;
    }
    return true;
  }

 private:
  std::filesystem::path path_;
  std::ofstream out_;
};

bool write_track1(const std::filesystem::path& path) {
  Output out(path);
  Tone tone(4108, 12000);  // about 440 Hz
  Sector sector{};
  for (std::uint32_t i = 0; i < kTrack1Sectors; ++i) {
    tone.fill(sector);
    out.write(sector);
  }
  return out.close();
}

bool write_track2(const std::filesystem::path& path) {
  Output out(path);
  Sector sector{};
  for (std::uint32_t i = 0; i < kTrack2Sectors; ++i) {
    make_mode1_sector(sector, kTrack2FirstLba + i, i == 0);
    out.write(sector);
  }
  return out.close();
}

bool write_track3(const std::filesystem::path& path) {
  Output out(path);
  Sector sector{};
  for (std::uint32_t i = 0; i < kTrack3PregapSectors; ++i) out.write(sector);
  Tone tone(6158, 9000);  // about 660 Hz
  for (std::uint32_t i = kTrack3PregapSectors; i < kTrack3Sectors; ++i) {
    tone.fill(sector);
    out.write(sector);
  }
  return out.close();
}

bool write_cue(const std::filesystem::path& path) {
  Output out(path);
  out.write(reinterpret_cast<const std::uint8_t*>(kCueSheet.data()), kCueSheet.size());
  return out.close();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_sample_disc <output-dir>\n";
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::cerr << "make_sample_disc: cannot create " << dir << ": " << ec.message() << '\n';
    return 1;
  }
  const bool ok = write_track1(dir / "Sample Disc (Track 1).bin") &&
                  write_track2(dir / "Sample Disc (Track 2).bin") &&
                  write_track3(dir / "Sample Disc (Track 3).bin") &&
                  write_cue(dir / "Sample Disc.cue");
  return ok ? 0 : 1;
}
