#include "foundation/data_protection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace vx {
namespace {

namespace fs = std::filesystem;

// Each test gets its own machine: a fresh TARN_ROOT folder.
class DataProtectionTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = MakeRoot(); }
  void TearDown() override {
    std::error_code ec;
    for (const std::string& r : roots_) fs::remove_all(r, ec);
  }
  std::string MakeRoot() {
    std::string tmpl = (fs::temp_directory_path() / "tarn-dp-XXXXXX").string();
    const char* made = ::mkdtemp(tmpl.data());
    EXPECT_NE(made, nullptr);
    roots_.push_back(tmpl);
    ::setenv("TARN_ROOT", tmpl.c_str(), 1);
    return tmpl;
  }
  static std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

  std::string root_;
  std::vector<std::string> roots_;
};

TEST_F(DataProtectionTest, SealedDataOpensOnlyWithTheSameEntropy) {
  struct Case {
    std::string plain;
    std::string entropy;
  } cases[] = {{"secret", "kelp/vault/sealed/v2x"}, {"", "e"}, {"x", ""},
               {std::string(100000, 'z'), "big"}, {std::string("\0\1\2", 3), "bin"}};
  for (const Case& c : cases) {
    std::vector<uint8_t> sealed;
    ASSERT_TRUE(ProtectData(Bytes(c.plain), c.entropy, sealed));
    EXPECT_NE(sealed, Bytes(c.plain));
    std::vector<uint8_t> again;
    ASSERT_TRUE(ProtectData(Bytes(c.plain), c.entropy, again));
    EXPECT_NE(again, sealed) << "two seals of one text are alike";
    std::vector<uint8_t> plain = {9, 9};
    ASSERT_TRUE(UnprotectData(sealed, c.entropy, plain));
    EXPECT_EQ(plain, Bytes(c.plain));

    for (const std::string& other : {std::string("other"), std::string(), c.entropy + "x"}) {
      if (other == c.entropy) continue;
      std::vector<uint8_t> out = {7};
      EXPECT_FALSE(UnprotectData(sealed, other, out)) << c.entropy << " vs " << other;
      EXPECT_EQ(out, std::vector<uint8_t>{7});  // untouched on failure
    }
  }
}

TEST_F(DataProtectionTest, TamperedOrTruncatedDataFails) {
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(ProtectData(Bytes("password"), "e", sealed));
  std::vector<uint8_t> out;
  for (size_t i = 0; i < sealed.size(); ++i) {
    std::vector<uint8_t> bad = sealed;
    bad[i] ^= 0x01;
    EXPECT_FALSE(UnprotectData(bad, "e", out)) << "byte " << i;
  }
  for (size_t n : {size_t{0}, size_t{1}, size_t{28}, sealed.size() - 1}) {
    std::vector<uint8_t> cut(sealed.begin(), sealed.begin() + static_cast<long>(n));
    EXPECT_FALSE(UnprotectData(cut, "e", out)) << n;
  }
}

TEST_F(DataProtectionTest, AnotherMachineCannotOpen) {
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(ProtectData(Bytes("password"), "e", sealed));
  MakeRoot();  // a second computer: its own machine secret
  std::vector<uint8_t> out;
  EXPECT_FALSE(UnprotectData(sealed, "e", out));
  ::setenv("TARN_ROOT", root_.c_str(), 1);
  EXPECT_TRUE(UnprotectData(sealed, "e", out));
}

TEST_F(DataProtectionTest, MachineSecretIsPrivateAndKept) {
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(ProtectData(Bytes("a"), "e", sealed));
  const std::string path = MachineKeyPath();
  EXPECT_EQ(path, root_ + "/etc/tarn/machine.key");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 32);
  ASSERT_EQ(::stat((root_ + "/etc/tarn").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // No temporaries are left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ + "/etc/tarn"), fs::directory_iterator()), 1);
}

TEST_F(DataProtectionTest, DamagedMachineSecretIsNeverReplaced) {
  std::vector<uint8_t> sealed;
  ASSERT_TRUE(ProtectData(Bytes("a"), "e", sealed));
  const std::string path = MachineKeyPath();
  fs::resize_file(path, 5);
  std::vector<uint8_t> out;
  EXPECT_FALSE(UnprotectData(sealed, "e", out));
  EXPECT_FALSE(ProtectData(Bytes("b"), "e", out));
  EXPECT_EQ(fs::file_size(path), 5u);
}

TEST_F(DataProtectionTest, RacingCreatorsShareOneSecret) {
  constexpr int kThreads = 8;
  std::vector<std::vector<uint8_t>> sealed(kThreads);
  std::vector<int> ok(kThreads, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] { ok[i] = ProtectData(Bytes("race"), "e", sealed[i]) ? 1 : 0; });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_EQ(ok[i], 1) << i;
    std::vector<uint8_t> out;
    EXPECT_TRUE(UnprotectData(sealed[i], "e", out)) << i;
    EXPECT_EQ(out, Bytes("race"));
  }
}

}  // namespace
}  // namespace vx
