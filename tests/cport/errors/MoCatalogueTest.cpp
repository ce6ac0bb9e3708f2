// The component's own reader of compiled catalogues, on the program's real
// pt_BR catalogue (msgfmt's output in the build tree) and on catalogues made
// here in both byte orders.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cport/errors/MoCatalogue.h"

namespace cport {
namespace {

const std::filesystem::path kProgramCatalogue =
    std::filesystem::path(RIRIRED_BINARY_DIR) / "locale/pt_BR/LC_MESSAGES/cport.mo";

// A .mo file of `messages` (the header message first, as msgfmt puts it).
std::string MakeCatalogue(const std::vector<std::pair<std::string, std::string>>& messages,
                          bool bigEndian) {
  std::string out;
  auto word = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      out += static_cast<char>((v >> (bigEndian ? 8 * (3 - i) : 8 * i)) & 0xFF);
    }
  };
  const auto n = static_cast<std::uint32_t>(messages.size());
  word(0x950412de);
  word(0);
  word(n);
  word(28);
  word(28 + 8 * n);
  word(0);
  word(0);
  std::uint32_t offset = 28 + 16 * n;
  std::string strings;
  for (int table = 0; table < 2; ++table) {
    for (const auto& [english, text] : messages) {
      const std::string& s = table == 0 ? english : text;
      word(static_cast<std::uint32_t>(s.size()));
      word(offset + static_cast<std::uint32_t>(strings.size()));
      strings += s;
      strings += '\0';
    }
  }
  return out + strings;
}

TEST(MoCatalogue, ReadsTheProgramsPortugueseCatalogue) {
  const std::optional<MoCatalogue> catalogue = MoCatalogue::Load(kProgramCatalogue);
  ASSERT_TRUE(catalogue) << kProgramCatalogue;
  ASSERT_NE(catalogue->Find("Unable to open com port"), nullptr);
  EXPECT_EQ(*catalogue->Find("Unable to open com port"), "Não foi possível abrir a porta serial");
  EXPECT_EQ(catalogue->Find("no such message"), nullptr);
  EXPECT_EQ(catalogue->Find(""), nullptr) << "the header is no message";
}

TEST(MoCatalogue, ReadsBothByteOrdersPluralsAndSkipsContexts) {
  const std::vector<std::pair<std::string, std::string>> messages = {
      {"", "Content-Type: text/plain; charset=UTF-8\n"},
      {"Registry error", "Erro de registro"},
      {std::string("port\0ports", 10), std::string("porta\0portas", 12)},
      {"menu\x04Open", "Abrir (menu)"},
      {"Untranslated", ""},
  };
  for (const bool bigEndian : {false, true}) {
    const std::optional<MoCatalogue> c = MoCatalogue::Parse(MakeCatalogue(messages, bigEndian));
    ASSERT_TRUE(c) << bigEndian;
    EXPECT_EQ(*c->Find("Registry error"), "Erro de registro");
    EXPECT_EQ(*c->Find("port"), "porta");
    EXPECT_EQ(c->Find("Open"), nullptr);
    EXPECT_EQ(c->Find("Untranslated"), nullptr);
    EXPECT_EQ(c->Size(), 2u);
  }
}

TEST(MoCatalogue, RefusesDamagedFilesAndOtherCharsets) {
  const std::string good = MakeCatalogue({{"a", "b"}, {"Registry error", "Erro"}}, false);
  // Cut anywhere, the tables or strings reach past the end: refused, never read.
  for (std::size_t size = 0; size + 1 < good.size(); ++size) {
    EXPECT_FALSE(MoCatalogue::Parse(good.substr(0, size))) << size;
  }
  std::string badMagic = good;
  badMagic[0] = 'x';
  EXPECT_FALSE(MoCatalogue::Parse(badMagic));
  std::string hugeCount = good;
  hugeCount[11] = '\x7f';
  EXPECT_FALSE(MoCatalogue::Parse(hugeCount));
  EXPECT_FALSE(MoCatalogue::Parse(MakeCatalogue(
      {{"", "Content-Type: text/plain; charset=ISO-8859-1\n"}, {"a", "\xe9"}}, false)));
  EXPECT_FALSE(MoCatalogue::Load(kProgramCatalogue.parent_path() / "missing.mo"));
}

}  // namespace
}  // namespace cport
