// The file-type catalogue library as the program binds it: KivFilter.so from the program folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IKivFilter.h"
#include "KivModuleLoader.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

std::string Utf16File(const std::string& utf8) {
    std::string out = "\xFF\xFE";
    for (char16_t c : KivUtf8ToUtf16(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// A catalogue beside the test program under a name of this process, removed at the end.
class Catalogue {
public:
    explicit Catalogue(const std::string& text, const std::string& tag = "cat")
        : m_name("KivFilterTest-" + tag + "-" + std::to_string(::getpid()) + ".ini"),
          m_path(KivGetExeDir() + "/" + m_name) {
        Write(text);
    }
    ~Catalogue() { fs::remove(m_path); }
    void Write(const std::string& text) {
        std::ofstream f(m_path, std::ios::binary | std::ios::trunc);
        f << Utf16File(text);
    }
    const std::string& Name() const { return m_name; }

private:
    std::string m_name, m_path;
};

struct FilterPtr {
    FilterPtr() : p(static_cast<IKivFilter*>(KivLoadModule("KivFilter", KIV_IID_FILTER))) {}
    ~FilterPtr() { KivSafeRelease(p); }
    IKivFilter* operator->() const { return p; }
    IKivFilter* p;
};

uint32_t Err(KivResult rc) { return KivErrNo(rc); }

const char* kCatalogue =
    "[Pictures]\r\n"
    "name=Pictures\r\n"
    "descript=Photos and drawings\r\n"
    "detail=JPEG, PNG\r\n"
    "exts=.JPG.jpeg..png.\r\n"
    "[Docs]\r\n"
    "name=Caf\xC3\xA9 documents\r\n"
    "exts=.DOC.docx..rtf\r\n"
    "[NoDot]\r\n"
    "exts=doc\r\n"
    "[EmptyExts]\r\n"
    "name=gone\r\n"
    "exts=\r\n"
    "[NoKeys]\r\n";

}  // namespace

TEST(FilterFactoryTest, ServesOnlyItsInterface) {
    IKivCommon* p = nullptr;
    ASSERT_EQ(KivLoadModule("KivFilter", "ikivfilter", &p), KIV_OK);
    ASSERT_NE(p, nullptr);
    EXPECT_NE(dynamic_cast<IKivFilter*>(p), nullptr);
    p->Release();
    EXPECT_EQ(KivLoadModule("KivFilter", "IKivScanDev"), nullptr);
}

TEST(FilterInitTest, NameIsPlacedBesideTheProgramWhateverFolderItCarries) {
    Catalogue cat(kCatalogue);
    for (const std::string& name : {cat.Name(), "/elsewhere/dir/" + cat.Name(), "C:\\Program Files\\" + cat.Name()}) {
        FilterPtr f;
        ASSERT_EQ(Err(f->Init(name.c_str())), 0u) << name;
        std::vector<FilterItem> items;
        ASSERT_EQ(Err(f->EnumTypes(&items)), 0u) << name;
        EXPECT_EQ(items.size(), 4u) << name;
    }
}

TEST(FilterInitTest, StatesAndRefusals) {
    Catalogue cat(kCatalogue);
    FilterPtr f;
    std::vector<FilterItem> items;
    KivFilterSet set;
    // Nothing works before Init.
    EXPECT_EQ(Err(f->Uninit()), 0x004u);
    EXPECT_EQ(Err(f->EnumTypes(&items)), 0x004u);
    EXPECT_EQ(Err(f->CreateFilter(0, std::vector<std::string>{"jpg"}, &set)), 0x004u);
    EXPECT_EQ(Err(f->CreateFilter(0, items, &set)), 0x004u);

    EXPECT_EQ(Err(f->Init(nullptr)), 0x002u);
    EXPECT_EQ(Err(f->Init("")), 0x002u);
    EXPECT_EQ(Err(f->Init("some/dir/")), 0x002u);
    EXPECT_EQ(Err(f->Init("some\\dir\\")), 0x002u);
    EXPECT_EQ(Err(f->Init("KivFilterTest-no-such-file.ini")), 0x010u);
    EXPECT_EQ(Err(f->EnumTypes(&items)), 0x004u);  // a failed Init leaves it uninitialised
    // A folder of that name beside the program is no catalogue.
    std::string dirName = "KivFilterTest-dir-" + std::to_string(::getpid()) + ".ini";
    fs::create_directory(KivGetExeDir() + "/" + dirName);
    EXPECT_EQ(Err(f->Init(dirName.c_str())), 0x010u);
    fs::remove(KivGetExeDir() + "/" + dirName);

    ASSERT_EQ(Err(f->Init(cat.Name().c_str())), 0u);
    EXPECT_EQ(Err(f->Init(cat.Name().c_str())), 0x004u);  // not twice
    EXPECT_EQ(Err(f->Uninit()), 0u);
    EXPECT_EQ(Err(f->Uninit()), 0x004u);
    EXPECT_EQ(Err(f->Init(cat.Name().c_str())), 0u);  // initialised again after Uninit
    EXPECT_EQ(Err(f->EnumTypes(nullptr)), 0x002u);
    EXPECT_EQ(Err(f->CreateFilter(0, std::vector<std::string>{"jpg"}, nullptr)), 0x002u);
}

TEST(FilterEnumTest, EntriesInFileOrderWithDefaultsAndSplitExtensions) {
    Catalogue cat(kCatalogue);
    FilterPtr f;
    ASSERT_EQ(Err(f->Init(cat.Name().c_str())), 0u);
    std::vector<FilterItem> items(3);  // emptied first
    ASSERT_EQ(Err(f->EnumTypes(&items)), 0u);
    ASSERT_EQ(items.size(), 4u);  // the section with an empty exts value is left out

    EXPECT_EQ(items[0].section, "Pictures");
    EXPECT_EQ(items[0].name, "Pictures");
    EXPECT_EQ(items[0].descript, "Photos and drawings");
    EXPECT_EQ(items[0].detail, "JPEG, PNG");
    EXPECT_EQ(items[0].extensions, (std::vector<std::string>{"jpeg", "jpg", "png"}));

    EXPECT_EQ(items[1].name, "Caf\xC3\xA9 documents");  // UTF-16 on disk, UTF-8 here
    EXPECT_EQ(items[1].descript, "unknow");
    EXPECT_EQ(items[1].extensions, (std::vector<std::string>{"doc", "docx", "rtf"}));

    EXPECT_EQ(items[2].section, "NoDot");
    EXPECT_TRUE(items[2].extensions.empty());

    EXPECT_EQ(items[3].section, "NoKeys");
    EXPECT_EQ(items[3].name, "unknow");
    EXPECT_EQ(items[3].detail, "unknow");
    EXPECT_TRUE(items[3].extensions.empty());
}

TEST(FilterEnumTest, EditedCatalogueShowsAtTheNextListing) {
    Catalogue cat("[A]\r\nexts=.a\r\n", "edit");
    FilterPtr f;
    ASSERT_EQ(Err(f->Init(cat.Name().c_str())), 0u);
    std::vector<FilterItem> items;
    ASSERT_EQ(Err(f->EnumTypes(&items)), 0u);
    ASSERT_EQ(items.size(), 1u);
    cat.Write("[A]\r\nexts=.a\r\n[B]\r\nexts=.b.c\r\n");
    ASSERT_EQ(Err(f->EnumTypes(&items)), 0u);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].extensions, (std::vector<std::string>{"b", "c"}));
}

TEST(FilterCreateTest, ModesAndSets) {
    Catalogue cat(kCatalogue);
    FilterPtr f;
    ASSERT_EQ(Err(f->Init(cat.Name().c_str())), 0u);
    std::vector<FilterItem> items;
    ASSERT_EQ(Err(f->EnumTypes(&items)), 0u);
    KivFilterSet set;

    // Mode 2 never looks at the extensions.
    ASSERT_EQ(Err(f->CreateFilter(2, items, &set)), 0u);
    EXPECT_EQ(set, (KivFilterSet{2, {}}));
    // Entries whose lists are all empty choose nothing: everything passes.
    std::vector<FilterItem> empties{items[2], items[3]};
    ASSERT_EQ(Err(f->CreateFilter(0, empties, &set)), 0u);
    EXPECT_EQ(set, (KivFilterSet{2, {}}));
    ASSERT_EQ(Err(f->CreateFilter(1, std::vector<std::string>{}, &set)), 0u);
    EXPECT_EQ(set.nMode, 2);
    // The same extension twice is kept once.
    ASSERT_EQ(Err(f->CreateFilter(1, std::vector<std::string>{"jpg", "jpg"}, &set)), 0u);
    EXPECT_EQ(set, (KivFilterSet{1, {"jpg"}}));
    // Entries' lists are merged in order.
    ASSERT_EQ(Err(f->CreateFilter(0, std::vector<FilterItem>{items[0], items[1]}, &set)), 0u);
    EXPECT_EQ(set, (KivFilterSet{0, {"doc", "docx", "jpeg", "jpg", "png", "rtf"}}));
    // A mode the engine does not know is refused.
    EXPECT_EQ(Err(f->CreateFilter(3, items, &set)), 0x002u);
    EXPECT_EQ(Err(f->CreateFilter(-1, std::vector<std::string>{"a"}, &set)), 0x002u);
}
