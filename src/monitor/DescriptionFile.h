#pragma once
// MonitorIni: the reader of the description file RiriredOz.ini, which lies
// beside the executable and describes the fixture's codes:
//
//   [RESULTADOS]          [TESTES]                  [ERROS]
//   0x00=Início do teste  0x03=Detecção de ring     0x05=Sinal FSK não detectado
//
// A lookup of (section, code) reads key "0x" + two upper-case hexadecimal
// digits of the code in that section, with the rules of ProfileFile (names
// matched without regard to case, so "0xab" serves code 171; blanks and one
// pair of quotes around a value removed; first match wins). The value is cut
// at a NUL byte and at 2047 characters. A code, section or file that is
// missing, a file that cannot be read, is no regular file or is larger than
// kMaxFileSize all give "***".
//
// Values come back as Windows-1252 text, as the log keeps them. The file is
// read as the text it is (cport/TextEncoding.h): UTF-16 of either byte order
// with its byte order mark (as the Windows editor saves "Unicode"), UTF-8
// with or without its mark, else Windows-1252, whose bytes are taken as they
// are. Values of a UTF-8 or UTF-16 file are converted to Windows-1252: a
// character that Windows-1252 lacks becomes '?'. The 2047-character cut
// applies to the converted value.
//
// Every lookup sees the file as it is at that moment: an edit takes effect
// with the next lookup. The one exception is a decoded frame: the lookups
// between BeginFrame and EndFrame see the file as it was at the frame's first
// lookup, so an edit takes effect with the next frame, and the file is
// checked once per frame rather than two or three times (a check is a stat
// call, which cost most of the time of a frame). The parsed file is reused only while the file's
// identity (device, inode), size, modification time and change time are the
// same as when it was read, and only once its last change lies more than
// kSettleTime before that read: a change within the same tick of the file
// system's clock would not move the times, so until then every lookup reads
// the file again. Setting the system clock back by more than kSettleTime can
// defeat this for one edit; no other case can.
//
// Creating the reader does not touch the file. Not thread-safe: one thread
// (the user-interface thread) owns it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "cport/storage/ProfileFile.h"
#include "monitor/ReportDecoder.h"

namespace monitor {

inline constexpr std::string_view kDescriptionFileName = "RiriredOz.ini";

// The description file's path for the directory that holds the executable.
std::filesystem::path DescriptionFilePath(const std::filesystem::path& executableDir);

class MonitorIni final : public DescriptionSource {
 public:
  static constexpr std::size_t kMaxValueSize = 2047;
  static constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;
  static constexpr std::time_t kSettleTime = 5;  // seconds

  // The wall clock (the clock of file times); injectable for tests.
  using WallClock = std::function<std::timespec()>;

  explicit MonitorIni(std::filesystem::path file, WallClock wallClock = {});

  std::string Lookup(std::string_view section, std::uint8_t code) override;
  void BeginFrame() override {
    inFrame_ = true;
    frameLooked_ = false;
  }
  void EndFrame() override { inFrame_ = false; }

  const std::filesystem::path& Path() const { return path_; }
  // How often the file was read and parsed: for tests of the reuse rule.
  std::size_t ReadCount() const { return readCount_; }

 private:
  struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::timespec modified{};
    std::timespec changed{};
    bool operator==(const Stamp& other) const;
  };
  using Section = std::array<std::optional<std::string>, 256>;

  // Brings the parsed descriptions up to date with the file; false when the
  // file cannot be read.
  bool Refresh();
  void Load(std::string_view bytes);
  std::string Describe(std::string_view value) const;

  std::filesystem::path path_;
  WallClock wallClock_;
  bool loaded_ = false;
  bool settled_ = false;
  Stamp stamp_;
  cport::ProfileFile file_;
  std::array<Section, 3> sections_;  // RESULTADOS, TESTES, ERROS, looked up by code
  std::size_t readCount_ = 0;
  bool inFrame_ = false;
  bool frameLooked_ = false;  // within a frame: the file was checked
  bool frameReadable_ = false;  // what that check found
};

}  // namespace monitor
