// The built libkercol.so exports exactly the seven KERC_ entry points, and they resolve.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <elf.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// Names of the defined, globally visible functions and objects in an ELF file's dynamic symbol
// table.
std::set<std::string> exportedNames(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (bytes.size() < sizeof(Elf64_Ehdr))
        return names;
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(bytes.data());
    if (header->e_shoff + std::size_t(header->e_shnum) * sizeof(Elf64_Shdr) > bytes.size())
        return names;
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(bytes.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM)
            continue;
        const Elf64_Shdr& strings = sections[sections[i].sh_link];
        const auto* symbols =
            reinterpret_cast<const Elf64_Sym*>(bytes.data() + sections[i].sh_offset);
        const std::size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (std::size_t k = 0; k < count; ++k) {
            const Elf64_Sym& s = symbols[k];
            const int binding = ELF64_ST_BIND(s.st_info);
            if (s.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK))
                continue;
            names.insert(bytes.data() + strings.sh_offset + s.st_name);
        }
    }
    return names;
}

const std::set<std::string> kEntryPoints = {
    "KERC_Open",         "KERC_Close",          "KERC_LoadDeviceDefaults",
    "KERC_SetParameter", "KERC_QueryParameter", "KERC_BunchedToBayer",
    "KERC_Colour"};

} // namespace

TEST(KercolExports, ExactlyTheSevenEntryPoints) {
    const std::set<std::string> names = exportedNames(KERCOL_LIBRARY_PATH);
    ASSERT_FALSE(names.empty()) << "no dynamic symbols read from " << KERCOL_LIBRARY_PATH;
    // A sanitizer build adds the runtime's own hooks; nothing else may appear.
    std::set<std::string> exported;
    for (const auto& name : names)
        if (name.rfind("__asan", 0) != 0 && name.rfind("__ubsan", 0) != 0 &&
            name.rfind("__sanitizer", 0) != 0 && name.rfind("__lsan", 0) != 0)
            exported.insert(name);
    EXPECT_EQ(exported, kEntryPoints);
}

TEST(KercolExports, EntryPointsResolveByName) {
    void* library = dlopen(KERCOL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const auto& name : kEntryPoints)
        EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
    EXPECT_EQ(dlsym(library, "_ZN6kercol14deviceDefaultsEv"), nullptr);
    dlclose(library);
}
