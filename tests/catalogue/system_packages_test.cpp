#include "catalogue/system_packages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue_test_util.h"

namespace quoldex::catalogue {
namespace {

class SystemPackagesTest : public test::CatalogueFixture {
 protected:
  SystemPackagesTest() { data_.dtblSystemU.SetAfterOpen(dtblSystemUAfterOpen); }

  // Closes and opens systemu.dat again, as the next start of the program.
  void Reopen() {
    data_.dtblSystemU.Close();
    data_.dtblSystemU.Open();
  }

  std::vector<std::string> Packages() {
    std::vector<std::string> names;
    for (const std::vector<std::string>& row : Rows(data_.dtblSystemU)) names.push_back(row.at(0));
    return names;
  }

  static std::vector<std::string> Defaults() {
    return {kDefaultSystemPackages.begin(), kDefaultSystemPackages.end()};
  }
};

TEST_F(SystemPackagesTest, AnEmptyListIsFilledOnceWithTheDefaults) {
  data_.dtblSystemU.Open();
  EXPECT_EQ(Packages(), Defaults());
  EXPECT_EQ(Packages().size(), 16u);

  Reopen();  // a full list is left alone, not doubled or refused
  EXPECT_EQ(Packages(), Defaults());
}

TEST_F(SystemPackagesTest, AListWithOneNameIsKeptAndAnEmptiedListRefilled) {
  data_.dtblSystemU.Open();
  data_.dtblSystemU.First();
  while (data_.dtblSystemU.RecordCount() > 1) data_.dtblSystemU.Delete();
  const std::vector<std::string> one = Packages();
  ASSERT_EQ(one.size(), 1u);

  Reopen();
  EXPECT_EQ(Packages(), one);

  data_.dtblSystemU.Close();
  data_.dtblSystemU.EmptyTable();
  data_.dtblSystemU.Open();
  EXPECT_EQ(Packages(), Defaults());
}

TEST_F(SystemPackagesTest, TheLookUpIgnoresCaseButComparesTheWholeName) {
  data_.dtblSystemU.Open();
  EXPECT_TRUE(IsSystemPackage(data_.dtblSystemU, "BotPack"));
  EXPECT_EQ(data_.dtblSystemU.FieldByName("Package").AsString(), "botpack");
  EXPECT_TRUE(IsSystemPackage(data_.dtblSystemU, "UWINDOW"));
  EXPECT_FALSE(IsSystemPackage(data_.dtblSystemU, "botpack.u"));
  EXPECT_FALSE(IsSystemPackage(data_.dtblSystemU, "bot"));
  EXPECT_FALSE(IsSystemPackage(data_.dtblSystemU, "MyMod"));
  EXPECT_FALSE(IsSystemPackage(data_.dtblSystemU, ""));
}

}  // namespace
}  // namespace quoldex::catalogue
