// search_corpus_tool DIR [RARE]: writes the generated grep corpus into DIR:
// 20,000 UnrealScript-like files (40 packages of 500 classes, DIR/<package>/
// Classes/<class>.uc), 3 to 17 KB each, about 200 MB in all. The same
// arguments always give the same bytes.
//
// Every file ends with a "defaultproperties" block (a common pattern whose
// only match is at the end). RARE (default bMoonBootsEquipped), in mixed
// case, is declared in the first file and in about one file in a thousand.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

class Generator {
 public:
  explicit Generator(uint32_t seed) : rnd_(seed) {}

  // Uniform in [lo, hi].
  int Range(int lo, int hi) {
    return lo + static_cast<int>(rnd_() % static_cast<uint32_t>(hi - lo + 1));
  }
  bool Chance(double p) { return rnd_() < p * 4294967296.0; }

  std::string Ident(int words) {
    static const char* const kWords[] = {
        "Actor",   "Pawn",       "Weapon",  "Inventory", "Projectile",   "Effects", "Mover",
        "Trigger", "Info",       "Zone",    "Light",     "Health",       "Ammo",    "Armor",
        "Pickup",  "Decoration", "Bot",     "Player",    "Game",         "Team",    "Flag",
        "Mutator", "Sound",      "Mesh",    "Skin",      "Shield",       "Rocket",  "Flak",
        "Pulse",   "Shock",      "Minigun", "Enforcer",  "Translocator", "Ripper"};
    std::string s;
    for (int i = 0; i < words; ++i) s += kWords[Range(0, std::size(kWords) - 1)];
    return s;
  }

  std::string Type() {
    static const char* const kTypes[] = {"int",    "float",  "bool",    "byte",  "name",
                                         "string", "vector", "rotator", "Actor", "class<Actor>"};
    return kTypes[Range(0, std::size(kTypes) - 1)];
  }

  // One comment, variable group or function.
  std::string Block() {
    const int kind = Range(0, 99);
    std::string s;
    if (kind < 15) {
      s = "// " + std::string(60, '=') + "\n// " + Ident(1) + " handling for " + Ident(2) + ".\n";
    } else if (kind < 35) {
      for (int i = Range(2, 6); i > 0; --i)
        s += "var(" + Ident(1) + ") " + Type() + " " + Ident(2) + ";\n";
    } else {
      const std::string name = Ident(2);
      s = "simulated function " + name + "(" + Type() + " " + Ident(1) + ")\n{\n";
      for (int i = Range(3, 14); i > 0; --i) {
        const std::string a = Ident(2), b = Ident(1);
        const int c = Range(0, 9);
        if (c < 3) {
          s += "\tif ( " + a + " != None && " + a + ".bIs" + b + " )\n\t\t" + Ident(1) + " = " + a +
               ";\n";
        } else if (c < 6) {
          s += "\tLocal" + b + " = Spawn(class'" + Ident(2) + "', self,, Location + " +
               std::to_string(Range(1, 900)) + " * vector(Rotation));\n";
        } else if (c < 8) {
          s += "\t" + a + "." + Ident(1) + "(" + b + ", " + std::to_string(Range(0, 99)) + "." +
               std::to_string(Range(0, 9)) + ");\n";
        } else {
          s += "\tlog(\"" + name + ": \"$" + b + "$\" state=\"$GetStateName());\n";
        }
      }
      s += "}\n\n";
    }
    return s;
  }

 private:
  std::mt19937 rnd_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [RARE]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  const std::string rare = argc > 2 ? argv[2] : "bMoonBootsEquipped";
  Generator gen(20260101);
  std::vector<std::string> pool;
  for (int i = 0; i < 4000; ++i) pool.push_back(gen.Block());

  mkdir(out.c_str(), 0755);
  for (int p = 0; p < 40; ++p) {
    const std::string pkg = gen.Ident(1) + "Pack" + std::to_string(p);
    const std::string dir = out + "/" + pkg + "/Classes";
    mkdir((out + "/" + pkg).c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    for (int i = 0; i < 500; ++i) {
      const std::string cls = gen.Ident(2) + std::to_string(i);
      std::string text = "//" + std::string(70, '=') + "\n// " + cls + ".\n//" +
                         std::string(70, '=') + "\nclass " + cls + " extends " + gen.Ident(2) +
                         "\n\tconfig(" + pkg + ");\n\n";
      const size_t target = static_cast<size_t>(gen.Range(3000, 17000));
      const bool with_rare = (p == 0 && i == 0) || gen.Chance(0.001);
      const size_t rare_at = target / static_cast<size_t>(gen.Range(2, 5));
      bool rare_done = !with_rare;
      while (text.size() < target) {
        text += pool[static_cast<size_t>(gen.Range(0, static_cast<int>(pool.size()) - 1))];
        if (!rare_done && text.size() >= rare_at) {
          std::string mixed = rare;
          for (char& ch : mixed)
            if (gen.Chance(0.3) && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
          text += "var bool " + mixed + ";\n";
          rare_done = true;
        }
      }
      text += "\ndefaultproperties\n{\n\t" + gen.Ident(1) + "=" + std::to_string(gen.Range(0, 99)) +
              "\n}\n";
      const std::string path = dir + "/" + cls + ".uc";
      FILE* f = std::fopen(path.c_str(), "wb");
      if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
          std::fclose(f) != 0) {
        std::perror(path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
