// The image descriptor, which follows the data area and ends the file.
//
// A reader finds it through its size D, the last 4 bytes of the file, and
// learns from it how the data area divides into sessions and tracks:
//   head            session count (u8), 0
//   per session     track count (u8), 0
//                   per track: disc information block + 176-byte track entry
//                   trailer: session type, 0, session start, 0
//   closing block   0 (u16), disc information block, disc length, volume
//                   name, catalog, format version, D
// Numbers are unsigned little-endian, fields follow each other without
// padding; positions and lengths count sectors. Each record below is written
// field by field, its offsets in the left-hand comments.
#include "cdi/descriptor.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cdi/le_bytes.h"

namespace cdi {
namespace {

// The CDI format's 3.5 layout, the one every reader of these images knows.
constexpr std::uint32_t kFormatVersion = 0x80000006;

// Every track entry describes CD audio, whatever the track's mode: 44100
// samples a second of 16 bits in 2 channels, after a word of 128.
constexpr std::uint32_t kAudioWord = 128;
constexpr std::uint32_t kAudioChannels = 2;
constexpr std::uint32_t kAudioBitsPerSample = 16;
constexpr std::uint32_t kAudioSampleRate = 44100;

// The disc information block describes the medium: an 80-minute CD of
// 360000 sectors, between fixed words that readers expect as they stand.
constexpr std::uint32_t kDiscInfoWord = 2;
constexpr std::uint32_t kDiscCapacitySectors = 80 * 60 * 75;
constexpr std::uint32_t kMediumWord = 9961472;  // 0x00980000

// A word with only its top bit set, in the disc information block and in the
// closing block.
constexpr std::uint32_t kTopBitWord = 0x80000000;

/// A name as the descriptor holds it: length byte, bytes, a 0 byte.
void append_name(LeBytes& out, std::string_view name) {
  out.u8(static_cast<std::uint8_t>(name.size()));
  out.bytes(name);
  out.u8(0);
}

/// A fixed-width text field that is present or not, and its presence flag.
void append_optional_text(LeBytes& out, const std::optional<std::string>& text, std::size_t width) {
  if (text) {
    out.bytes(*text);
    out.u32(1);
  } else {
    out.zeros(width + 4);
  }
}

/// 2 when the session holds a MODE2/2352 track, else 1 when it holds a
/// MODE1/2352 track, else 0: the largest of its tracks' mode values.
std::uint32_t session_type(const disc::Session& session) {
  std::uint32_t type = 0;
  for (const disc::Track& track : session.tracks) {
    type = std::max(type, disc::facts_of(track.mode).cdi_mode);
  }
  return type;
}

void append_track_entry(LeBytes& out, const disc::Track& track, const TrackLayout& layout,
                        std::uint32_t session_index, std::uint32_t track_index) {
  const disc::TrackModeFacts& mode = disc::facts_of(track.mode);
  out.u16(2);                                 //   0
  out.u32(layout.pregap);                     //   2 pregap
  out.u32(layout.length);                     //   6 length
  out.zeros(4 + 2);                           //  10
  out.u32(mode.cdi_mode);                     //  16 mode value
  out.zeros(4);                               //  20
  out.u32(session_index);                     //  24
  out.u32(track_index);                       //  28 within the session
  out.u32(layout.start);                      //  32 start position
  out.u32(layout.total());                    //  36 total length, pregap + length
  out.zeros(16);                              //  40
  out.u32(mode.cdi_sector_size_code);         //  56 sector size code
  out.u32(mode.cdi_control);                  //  60 control value
  out.u8(0);                                  //  64
  out.u32(layout.total());                    //  65 total length again
  out.zeros(4);                               //  69
  append_optional_text(out, track.isrc, 12);  //  73 ISRC, 85 its flag
  out.u8(0);                                  //  89
  out.u64(~std::uint64_t{0});                 //  90 all bits set
  out.u32(1);                                 //  98
  out.u32(kAudioWord);                        // 102
  out.u32(kAudioChannels);                    // 106
  out.u32(kAudioBitsPerSample);               // 110
  out.u32(kAudioSampleRate);                  // 114
  out.zeros(42);                              // 118
  out.u32(0xFFFFFFFF);                        // 160
  out.zeros(12);                              // 164
  // 176: the end of the entry
}

void append_session(LeBytes& out, const disc::Session& session, const SessionLayout& layout,
                    std::uint32_t session_index, std::string_view disc_info_block) {
  // The header: the session's track count.
  out.u8(static_cast<std::uint8_t>(session.tracks.size()));
  out.u8(0);
  for (std::size_t j = 0; j < session.tracks.size(); ++j) {
    out.bytes(disc_info_block);
    append_track_entry(out, session.tracks[j], layout.tracks[j], session_index,
                       static_cast<std::uint32_t>(j));
  }
  // The trailer:
  out.u32(session_type(session));  //  0 session type
  out.zeros(4);                    //  4
  out.u32(layout.start);           //  8 session start
  out.u8(0);                       // 12
}

void append_closing_block(LeBytes& out, const disc::Cdrom& cdrom, const ImageLayout& layout,
                          std::string_view disc_info_block) {
  out.u16(0);                                    // 0
  out.bytes(disc_info_block);                    // 2
  out.u32(layout.disc_length);                   // 62 + n  disc length
  append_name(out, cdrom.volume_name);           // 66 + n  m, the name, 0
  out.u32(1);                                    // 68 + n + m
  out.u32(1);                                    // 72 + n + m
  append_optional_text(out, cdrom.catalog, 13);  // 76 + n + m catalog, 89 + n + m its flag
  out.u32(0);                                    // 93 + n + m
  out.u32(kTopBitWord);                          // 97 + n + m
  out.zeros(140);                                // 101 + n + m
  out.u32(kFormatVersion);                       // 241 + n + m
  // 245 + n + m: the descriptor size D follows
}

}  // namespace

std::string discinfoblock(const disc::Cdrom& cdrom) {
  std::size_t track_count = 0;
  for (const disc::Session& session : cdrom.sessions) track_count += session.tracks.size();

  static constexpr char kStartMark[] = {0, 0, 1, 0, 0, 0, '\xFF', '\xFF', '\xFF', '\xFF'};
  const std::string_view start_mark(kStartMark, sizeof kStartMark);
  std::string block;
  LeBytes out(block);
  out.zeros(4);                                    //  0
  out.bytes(start_mark);                           //  4
  out.bytes(start_mark);                           // 14
  out.bytes("qzx");                                // 24 signature
  out.u8(static_cast<std::uint8_t>(track_count));  // 27 tracks on the whole disc
  append_name(out, cdrom.image_name);              // 28 n, the name, 0
  out.zeros(10);                                   // 30 + n
  out.u32(kDiscInfoWord);                          // 40 + n
  out.u32(0);                                      // 44 + n
  out.u32(kTopBitWord);                            // 48 + n
  out.u32(kDiscCapacitySectors);                   // 52 + n
  out.u32(kMediumWord);                            // 56 + n
  // 60 + n: the end of the block
  return block;
}

std::string build_descriptor(const disc::Cdrom& cdrom, const ImageLayout& layout) {
  std::string descriptor;
  LeBytes out(descriptor);
  // The head: the session count.
  out.u8(static_cast<std::uint8_t>(cdrom.sessions.size()));
  out.u8(0);
  const std::string disc_info_block = discinfoblock(cdrom);
  for (std::size_t i = 0; i < cdrom.sessions.size(); ++i) {
    append_session(out, cdrom.sessions[i], layout.sessions[i], static_cast<std::uint32_t>(i),
                   disc_info_block);
  }
  append_closing_block(out, cdrom, layout, disc_info_block);
  // D counts the whole descriptor, its own 4 bytes included.
  out.u32(static_cast<std::uint32_t>(descriptor.size() + 4));
  return descriptor;
}

}  // namespace cdi
