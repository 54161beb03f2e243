#include "catalogue/package_path.h"

#include <gtest/gtest.h>

#include <string>

namespace quoldex::catalogue {
namespace {

TEST(PackageFromPath, TheFolderAboveClassesNamesThePackage) {
  EXPECT_EQ(PackageFromPath("/games/UT/Botpack/Classes/"), "botpack");
  EXPECT_EQ(PackageFromPath("/games/UT/BotPack/CLASSES/"), "botpack");
  EXPECT_EQ(PackageFromPath("/work/MyMod/Classes/Sub/Deeper/"), "mymod");
  EXPECT_EQ(PackageFromPath("MyMod/Classes/"), "mymod");  // a head without a separator
}

TEST(PackageFromPath, TheLastClassesFolderDecides) {
  EXPECT_EQ(PackageFromPath("/work/Classes/Mod/Classes/"), "mod");
  EXPECT_EQ(PackageFromPath("/a/One/Classes/Two/Classes/Three/Classes/"), "three");
  EXPECT_EQ(PackageFromPath("/x/Mod/Classes/Classes/"), "mod");  // "classes/" alone is no match
}

TEST(PackageFromPath, NoClassesFolderIsUnknown) {
  EXPECT_EQ(PackageFromPath("/scripts/"), "Unknown");
  EXPECT_EQ(PackageFromPath("/games/UT/Botpack/Classes"), "Unknown");  // no separator after it
  EXPECT_EQ(PackageFromPath("/games/UT/Botpack/MyClasses/"), "Unknown");
  EXPECT_EQ(PackageFromPath(""), "Unknown");
}

TEST(PackageFromPath, AClassesFolderAtTheTopOfAPath) {
  EXPECT_EQ(PackageFromPath("C:/Classes/"), "c:");
  EXPECT_EQ(PackageFromPath("/Classes/"), "");  // the root has no name
}

TEST(PackageFromPath, OnlyTheFirst255CharactersAfterClassesAreSearchedFurther) {
  const std::string near = "/a/First/Classes/" + std::string(200, 'x') + "/Second/Classes/";
  EXPECT_EQ(PackageFromPath(near), "second");
  const std::string far = "/a/First/Classes/" + std::string(260, 'x') + "/Second/Classes/";
  EXPECT_EQ(PackageFromPath(far), "first");
}

TEST(PackageFromPath, OnlyLettersAToZAreLowered) {
  EXPECT_EQ(PackageFromPath("/g/\xC9Mod_2/Classes/"), "\xC9mod_2");  // É stays
}

}  // namespace
}  // namespace quoldex::catalogue
