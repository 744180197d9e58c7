#include "WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

// A key of its own under HKCU per test, removed with everything below it.
class RegistryKeyTest : public ::testing::Test {
protected:
  void TearDown() override
  {
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\ZarudodoTest");
  }

  std::wstring path = L"Software\\ZarudodoTest\\" + std::to_wstring(GetCurrentProcessId()) + L" \u00e9t\u00e9";
  RegistryKey root{HKEY_CURRENT_USER};
};

}

TEST_F(RegistryKeyTest, ValuesRoundTripWithTheirTypes)
{
  RegistryKey key(root, path.c_str());
  ASSERT_TRUE(key.isOpen());
  EXPECT_EQ(ERROR_SUCCESS, key.setValue(L"text", L"C:\\Vid\u00e9os\\\u65e5\u672c"));

  wchar_t text[16];
  ASSERT_TRUE(key.getValue(L"text", text, 15));
  EXPECT_STREQ(L"C:\\Vid\u00e9os\\\u65e5\u672c", text);
  // A value of another type leaves the output alone.
  int number = 42;
  EXPECT_FALSE(key.getValue(L"text", number));
  EXPECT_EQ(42, number);

  // Text longer than the buffer fails, also when written without its terminator.
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), L"bare", REG_SZ, L"abcdef", 12));
  wcscpy(text, L"kept");
  EXPECT_FALSE(key.getValue(L"bare", text, 5));
  EXPECT_STREQ(L"kept", text);
  EXPECT_TRUE(key.getValue(L"bare", text, 6));
  EXPECT_STREQ(L"abcdef", text);
}

TEST_F(RegistryKeyTest, OpenDescendsDeleteSelfRemovesAndFailedCreateShows)
{
  RegistryKey(RegistryKey(root, path.c_str()), L"child").setValue(L"n", 1);
  RegistryKey reader(HKEY_CURRENT_USER);
  ASSERT_TRUE(reader.open(path.c_str()));
  // Still on its key after a failed open.
  EXPECT_FALSE(reader.open(L"missing"));
  ASSERT_TRUE(reader.open(L"child"));
  int n = 0;
  EXPECT_TRUE(reader.getValue(L"n", n) && n == 1);
  reader.deleteSelf();
  EXPECT_FALSE(RegistryKey(root, path.c_str()).exists(L"child"));

  // A lasting key cannot live below a volatile one: the caller sees the failure.
  HKEY volatileKey = 0;
  std::wstring volatilePath = path + L"\\volatile";
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, volatilePath.c_str(), 0, nullptr,
                                           REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
  RegCloseKey(volatileKey);
  RegistryKey parent(root, volatilePath.c_str());
  RegistryKey denied(parent, L"new");
  EXPECT_FALSE(denied.isOpen());
  EXPECT_NE(ERROR_SUCCESS, denied.setValue(L"x", 1));
  // A key that never opened deletes nothing.
  denied.deleteSelf();
  EXPECT_TRUE(RegistryKey(root, path.c_str()).exists(L"volatile"));
}
