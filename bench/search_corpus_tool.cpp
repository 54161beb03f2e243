// search_corpus_tool DIR [RARE [FILES PER_PACKAGE [chain]]]: writes the
// generated grep corpus into DIR: by default 20,000 UnrealScript-like files
// (40 packages of 500 classes, DIR/<package>/Classes/<class>.uc), 3 to 17 KB
// each, about 200 MB in all. The same arguments always give the same bytes.
//
// FILES and PER_PACKAGE size a catalogue instead: FILES classes in packages
// of PER_PACKAGE (the last one takes the rest), every class name unique.
// With "chain", each class but the first of its package extends the class
// before it, so the last class of a package has every other one as an
// ancestor.
//
// Every file ends with a "defaultproperties" block (a common pattern whose
// only match is at the end). RARE (default bMoonBootsEquipped), in mixed
// case, is declared in the first file and in about one file in a thousand.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
  const bool sized = argc > 4;
  const int files = sized ? std::atoi(argv[3]) : 20000;
  const int per_package = sized ? std::atoi(argv[4]) : 500;
  const bool chain = argc > 5 && std::string(argv[5]) == "chain";
  if (files <= 0 || per_package <= 0) {
    std::fprintf(stderr, "FILES and PER_PACKAGE must be positive\n");
    return 2;
  }
  Generator gen(20260101);
  std::vector<std::string> pool;
  for (int i = 0; i < 4000; ++i) pool.push_back(gen.Block());

  mkdir(out.c_str(), 0755);
  const int packages = (files + per_package - 1) / per_package;
  for (int p = 0; p < packages; ++p) {
    const std::string pkg = gen.Ident(1) + "Pack" + std::to_string(p);
    const std::string dir = out + "/" + pkg + "/Classes";
    mkdir((out + "/" + pkg).c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    std::string previous;
    for (int i = 0; i < per_package && p * per_package + i < files; ++i) {
      const std::string cls = gen.Ident(2) + std::to_string(sized ? p * per_package + i : i);
      const std::string parent = gen.Ident(2);
      std::string text = "//" + std::string(70, '=') + "\n// " + cls + ".\n//" +
                         std::string(70, '=') + "\nclass " + cls + " extends " +
                         (chain && i > 0 ? previous : parent) + "\n\tconfig(" + pkg + ");\n\n";
      previous = cls;
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
