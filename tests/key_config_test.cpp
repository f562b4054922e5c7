// The key record and its file, through real files in a temporary current
// folder, in this process.
#include "key_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "keyconfig_test_data.h"
#include "test_files.h"

namespace {

Bytes RecordBytes() {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(&KeyConfig);
  return Bytes(p, p + sizeof KeyConfig);
}

struct KeyConfigFile : ::testing::Test {
  TempFolder folder;
  CurrentFolder current{folder.path};
  std::string file = folder.Join("system\\config.dat");
  void SetUp() override { memset(&KeyConfig, 0xEE, sizeof KeyConfig); }
  void MakeSystem() { MakeFolder(folder.Join("system")); }
};

TEST_F(KeyConfigFile, DefaultsAreTheDocumentedBytes) {
  SetDefaultConfig();
  EXPECT_EQ(RecordBytes(), kDefaultBytes);
}

TEST_F(KeyConfigFile, SaveWithoutFileCreatesExactlyTheRecord) {
  MakeSystem();
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 1);
  EXPECT_EQ(ReadBytes(file), kDefaultBytes);
}

TEST_F(KeyConfigFile, NoFileLeavesRecordUntouched) {
  MakeSystem();
  Bytes before = RecordBytes();
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_FALSE(Exists(file));
}

TEST_F(KeyConfigFile, NoSystemFolderFailsBothWaysAndCreatesNothing) {
  EXPECT_EQ(LoadConfig(), 0);
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 0);
  EXPECT_FALSE(Exists(folder.Join("system")));
}

TEST_F(KeyConfigFile, ShortFilesFailToLoad) {
  MakeSystem();
  for (size_t size : {0u, 1u, 95u}) {
    WriteBytes(file, PatternBytes(size, 1));
    EXPECT_EQ(LoadConfig(), 0) << size << " bytes";
  }
}

TEST_F(KeyConfigFile, OddValuesLoadAndSaveBackUnchanged) {
  MakeSystem();
  WriteBytes(file, OddRecord());
  EXPECT_EQ(LoadConfig(), 1);
  EXPECT_EQ(RecordBytes(), OddRecord());
  EXPECT_EQ(KeyConfig.up.player1, 1000);
  EXPECT_EQ(KeyConfig.padA.player1, 9);
  EXPECT_EQ(KeyConfig.padD.player2, -1);
  EXPECT_EQ(SaveConfig(), 1);
  EXPECT_EQ(ReadBytes(file), OddRecord());
}

TEST_F(KeyConfigFile, LongerFileKeepsItsTail) {
  MakeSystem();
  Bytes content = PatternBytes(100, 7);
  WriteBytes(file, content);
  EXPECT_EQ(LoadConfig(), 1);
  EXPECT_EQ(RecordBytes(), Bytes(content.begin(), content.begin() + 96));
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 1);
  Bytes after = ReadBytes(file);
  ASSERT_EQ(after.size(), 100u);
  EXPECT_EQ(Bytes(after.begin(), after.begin() + 96), kDefaultBytes);
  EXPECT_EQ(Bytes(after.begin() + 96, after.end()),
            Bytes(content.begin() + 96, content.end()));
}

TEST_F(KeyConfigFile, FileHeldWithoutSharingBlocksLoadAndSave) {
  MakeSystem();
  WriteBytes(file, OddRecord());
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Bytes before = RecordBytes();
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(RecordBytes(), before);
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 0);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(file), OddRecord());
}

TEST_F(KeyConfigFile, UsesTheCurrentFolderNotTheProgramFolder) {
  MakeSystem();
  SetDefaultConfig();
  ASSERT_EQ(SaveConfig(), 1);
  EXPECT_TRUE(Exists(file));
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string programFolder(program);
  programFolder.resize(programFolder.rfind('\\'));
  EXPECT_NE(programFolder, folder.path);
}

}  // namespace
