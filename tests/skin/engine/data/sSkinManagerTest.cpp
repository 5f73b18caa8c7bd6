// The skin manager as a component: where a skin is found, what is announced
// when it comes and goes, and the skin list of the system menu.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/SkinIni.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"

using namespace skin;

TEST(SkinFolder, RelativeValuesStartInTheProgramFolder)
{
    const std::string prog = "C:\\App\\Bin\\";
    EXPECT_EQ(FullSkinDirectory("..\\Skins", prog, '\\'), "C:\\App\\Skins\\");
    EXPECT_EQ(FullSkinDirectory(".\\Skins", prog, '\\'), "C:\\App\\Bin\\Skins\\");
    EXPECT_EQ(FullSkinDirectory("./Skins/", prog, '\\'), "C:\\App\\Bin\\Skins\\");
    EXPECT_EQ(FullSkinDirectory("Skins", prog, '\\'), "C:\\App\\Bin\\Skins\\");
    EXPECT_EQ(FullSkinDirectory("\\\\server\\skins", prog, '\\'), "\\\\server\\skins\\");
    EXPECT_EQ(FullSkinDirectory("c:\\Skins", prog, '\\'), "c:\\Skins\\");
    // Only the separator on POSIX, where an absolute path has no drive.
    EXPECT_EQ(FullSkinDirectory("/opt/skins", "/usr/bin/", '/'), "/opt/skins/");
}

TEST(SkinFolder, ParentOfAFolderWithoutSeparatorEnds)
{
    // The search for the parent's separator stops at the start of the text.
    EXPECT_EQ(FullSkinDirectory("..\\Skins", "NoSeparator", '\\'), "Skins\\");
    EXPECT_EQ(FullSkinDirectory("..", "", '\\'), "");
    EXPECT_EQ(FullSkinDirectory("..\\Skins", "", '\\'), "Skins\\");
}

TEST(SkinFolder, NormalisingOnlyTouchesTheEnd)
{
    EXPECT_EQ(NormalizeSkinDirectory("", '\\'), "");
    EXPECT_EQ(NormalizeSkinDirectory("d:/skins/", '\\'), "d:/skins\\");
    EXPECT_EQ(NormalizeSkinDirectory("d", '\\'), "d:\\");
    EXPECT_EQ(NormalizeSkinDirectory("d:\\x", '\\'), "d:\\x\\");
}

TEST(SkinFolder, VersionSwitchInAnyCase)
{
    EXPECT_TRUE(AcVerRequested({"tarnwick.exe", "/ACVer"}));
    EXPECT_FALSE(AcVerRequested({"tarnwick.exe", "-acver", "/acver2"}));
}

TEST(SkinFolder, ForeignClassListsGetTheirDefaultsAndSplitByLine)
{
    TsSkinManager m;
    EXPECT_EQ(m.ThirdLists[ThirdPartyList::ThirdButtons], std::vector<std::string>{"TButton"});
    EXPECT_EQ(m.ThirdParty.GetString(ThirdPartyList::ThirdEdits), " ");
    m.ThirdParty.SetString(ThirdPartyList::ThirdEdits, "TEdit\r\nTMemo\r\n");
    m.UpdateThirdLists();
    EXPECT_EQ(m.ThirdLists[ThirdPartyList::ThirdEdits], (std::vector<std::string>{"TEdit", "TMemo"}));
    EXPECT_STREQ(ThirdPartyKinds[ThirdPartyList::ThirdSpeedButton], "SpeedButton");
}

TEST(SkinFolder, AGoingManagerLeavesItsForeignClassListsInTheirTexts)
{
    // A sibling on the same owner sees the manager go, and reads its texts then.
    struct TWatcher : tw::TComponent {
        using tw::TComponent::TComponent;
        std::string Edits, Buttons;
        void Notification(tw::TComponent* c, tw::TOperation op) override
        {
            if (auto* m = dynamic_cast<TsSkinManager*>(c); m && op == tw::opRemove) {
                Edits = m->ThirdParty.GetString(ThirdPartyList::ThirdEdits);
                Buttons = m->ThirdParty.GetString(ThirdPartyList::ThirdButtons);
                EXPECT_EQ(m->AnimEffects.Manager, m);
            }
        }
    };
    tw::TComponent owner(nullptr);
    auto* watcher = new TWatcher(&owner);
    auto* m = new TsSkinManager(&owner);
    // The manager's animation settings know whose they are from the start.
    EXPECT_EQ(m->AnimEffects.Manager, m);
    EXPECT_EQ(m->AnimEffects.Buttons.Manager, m);
    m->ThirdLists[ThirdPartyList::ThirdEdits] = {"TEdit", "TOwnEdit"};
    m->ThirdLists[ThirdPartyList::ThirdButtons].push_back("TOwnButton");
    delete m;
    EXPECT_EQ(watcher->Edits, "TEdit\r\nTOwnEdit\r\n");
    EXPECT_EQ(watcher->Buttons, "TButton\r\nTOwnButton\r\n");
}

namespace {

// Counts the main-window hook's coming and going.
struct TDefaultRecorder : TSkinAnnouncer {
    int Created = 0, Destroyed = 0;
    void DefaultManagerCreated(TsSkinManager&) override { ++Created; }
    void DefaultManagerDestroyed(TsSkinManager&) override { ++Destroyed; }
};

} // namespace

TEST(DefaultManager, OnlyTheCurrentDefaultManagerTakesTheMainWindowHookAlong)
{
    TDefaultRecorder rec;
    struct TRestore {
        TSkinAnnouncer* before = &PlatformAnnouncer();
        ~TRestore() { SetPlatformAnnouncer(before); }
    } restore;
    SetPlatformAnnouncer(&rec);
    DefaultManager = nullptr;
    {
        auto first = std::make_unique<TsSkinManager>();
        TsSkinManager second;
        first->SetActive(false);
        second.SetActive(false);
        ASSERT_EQ(rec.Created, 1);
        second.SetIsDefault(true);
        EXPECT_TRUE(second.IsDefault());
        EXPECT_FALSE(first->IsDefault());
        // The former default manager goes: the program's popup menus stay
        // skinned through the hook the current one keeps.
        first.reset();
        EXPECT_EQ(rec.Destroyed, 0);
        EXPECT_EQ(DefaultManager, &second);
        second.SetIsDefault(false);   // the only manager cannot give it up
        EXPECT_TRUE(second.IsDefault());
    }
    EXPECT_EQ(rec.Destroyed, 1);
    EXPECT_EQ(DefaultManager, nullptr);
}

TEST(DefaultManager, SkinChangeHookAfterCreationLoadingAndEachSwitch)
{
    struct TCounter : TSkinAnnouncer {
        int Hooks = 0;
        void SkinChangeHook() override { ++Hooks; }
    } rec;
    struct TRestore {
        TSkinAnnouncer* before = &PlatformAnnouncer();
        ~TRestore() { SetPlatformAnnouncer(before); }
    } restore;
    SetPlatformAnnouncer(&rec);
    DefaultManager = nullptr;
    TsSkinManager sm;
    EXPECT_EQ(rec.Hooks, 1);   // created
    sm.Loaded();
    EXPECT_EQ(rec.Hooks, 2);
    sm.SetActive(false);
    EXPECT_EQ(rec.Hooks, 3);
    sm.SetActive(false);       // no change: no call
    EXPECT_EQ(rec.Hooks, 3);
    sm.SetActive(true);        // no skin of that name: switched off again by the load, one call
    EXPECT_EQ(rec.Hooks, 4);
}

#ifdef TW_SKIN_ARCHIVE

namespace {

namespace fs = std::filesystem;

// Writes down what the manager asks of the windows.
struct TRecorder : TSkinAnnouncer {
    std::vector<std::string> Log;
    bool Layered = false;
    void ClearGlows() override { Log.push_back("glows"); }
    void ClearGlowsAtOnce() override { Log.push_back("glows at once"); }
    bool LayeredWindows() const override { return Layered; }
    void UpdateMenusFromSkin(TsSkinManager&) override { Log.push_back("menus"); }
    void BeginSkinChange(TsSkinManager&) override { Log.push_back("begin"); }
    void EndSkinChange(TsSkinManager&, bool) override { Log.push_back("end"); }
    void BroadcastToForms(TsSkinManager& m, uint16_t cmd) override
    {
        Log.push_back("cmd" + std::to_string(cmd) + (cmd == 1 && m.SkinLoaded() ? "!" : "") +
                      (m.IsDestroying() ? " going" : ""));
    }
    void RedrawAdapters() override { Log.push_back("redraw"); }
    void InstallSkinHook(TsSkinManager&) override { Log.push_back("hook+"); }
    void UninstallSkinHook(TsSkinManager&) override { Log.push_back("hook-"); }
    void ShowMessage(const std::string& s) override { Log.push_back(s); }
};

std::shared_ptr<tw::TMemoryStream> Archive()
{
    auto s = std::make_shared<tw::TMemoryStream>();
    s->LoadFromFile(TW_SKIN_ARCHIVE);
    return s;
}

void WriteFile(const fs::path& p, const std::string& data)
{
    std::ofstream(p, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

// Our own skin unpacked into a folder, as a skin folder holds it.
void UnpackInto(const fs::path& dir)
{
    fs::create_directories(dir);
    std::unique_ptr<TacSkinConvertor> sc;
    LoadPackedFile(TW_SKIN_ARCHIVE, sc, true);
    for (const TacPackedFile& f : sc->Files)
        WriteFile(dir / f.FileName, std::string(reinterpret_cast<const char*>(f.Data->Memory()), size_t(f.Data->Size())));
    WriteFile(dir / "Options.dat",
              std::string(reinterpret_cast<const char*>(sc->Options->Memory()), size_t(sc->Options->Size())));
}

struct Manager : ::testing::Test {
    fs::path dir;
    TRecorder rec;
    std::unique_ptr<TsSkinManager> sm;
    const std::string internal = "Tarnwick8 (internal)";

    void SetUp() override
    {
        dir = fs::path(::testing::TempDir()) / ("skinmgr_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        DefaultManager = nullptr;
        sm = std::make_unique<TsSkinManager>();
        sm->Announcer = &rec;
        sm->SetSkinDirectory(dir.string());
    }
    void TearDown() override
    {
        sm.reset();
        fs::remove_all(dir);
    }
    void AddInternal() { sm->InternalSkins.Add(internal, Archive()); }
};

} // namespace

TEST_F(Manager, FirstManagerIsTheDefaultOneUntilItGoes)
{
    EXPECT_TRUE(sm->IsDefault());
    TsSkinManager second;
    EXPECT_FALSE(second.IsDefault());
    sm->SetIsDefault(false);   // cannot give it up this way
    EXPECT_TRUE(sm->IsDefault());
    sm.reset();
    EXPECT_EQ(DefaultManager, nullptr);
}

TEST_F(Manager, InternalSkinLoadsAndIsAnnouncedOnce)
{
    AddInternal();
    EXPECT_EQ(sm->SkinInfo(), "N/A");
    int before = 0, after = 0;
    sm->OnBeforeChange = [&](tw::TObject* s) { EXPECT_EQ(s, sm.get()); ++before; };
    sm->OnAfterChange = [&](tw::TObject*) {
        EXPECT_FALSE(SkinLoading);
        ++after;
    };
    sm->SetSkinName(internal);
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_TRUE(sm->PackedSkin());
    EXPECT_EQ(sm->SkinPath, "");
    EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0);
    EXPECT_EQ(sm->SkinInfo(), "1");
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 1);
    // The skin is not marked loaded while AC_SKINLOADED goes round.
    const std::vector<std::string> expected = {"glows", "begin", "cmd1", "hook+", "cmd16", "begin", "cmd3", "end", "redraw"};
    EXPECT_EQ(rec.Log, expected);
    // The stored skin keeps its archive for the next load.
    EXPECT_GT(sm->InternalSkins.Items(0).Data->Size(), 0);
}

TEST_F(Manager, UnknownNameTakesTheFirstStoredSkin)
{
    AddInternal();
    sm->SetSkinName("Nowhere");
    EXPECT_EQ(sm->SkinName(), internal);
    EXPECT_TRUE(sm->SkinLoaded());
}

TEST_F(Manager, NoSkinAtAllSwitchesOffAndRemoves)
{
    sm->SetSkinName("Nowhere");
    EXPECT_FALSE(sm->Active());
    EXPECT_FALSE(sm->SkinLoaded());
    EXPECT_TRUE(sm->gd.empty());
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"glows", "cmd2"}));
}

TEST_F(Manager, InactiveManagerOnlyStoresUntilSwitchedOn)
{
    AddInternal();
    sm->SetActive(false);
    rec.Log.clear();
    sm->SetSkinName(internal);
    sm->SetHueOffset(40);
    EXPECT_TRUE(rec.Log.empty());
    EXPECT_TRUE(sm->gd.empty());
    sm->SetActive(true);
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(sm->HueOffset, 40);
    // Switching off removes the skin, the hook and every common index.
    rec.Log.clear();
    sm->SetActive(false);
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"glows", "hook-", "cmd2"}));
    EXPECT_TRUE(sm->ma.empty());
    EXPECT_EQ(sm->MasterBitmap, nullptr);
    EXPECT_EQ(sm->ConstData.IndexGlobalInfo, -1);
}

TEST_F(Manager, HueChangeReloadsWithoutAnnouncingANewSkin)
{
    AddInternal();
    sm->SetSkinName(internal);
    const TColor before = sm->gd[size_t(sm->GetSkinIndex("BUTTON"))].Color;
    rec.Log.clear();
    sm->SetHueOffset(120);
    EXPECT_NE(sm->gd[size_t(sm->GetSkinIndex("BUTTON"))].Color, before);
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"cmd16", "begin", "cmd3", "end", "redraw"}));
}

// A reload that cannot read the skin any more ends in the stored skin: the
// windows hold indexes of the old tables and the owner must show the warning,
// so it is announced as a change of skin. A reload that ends where it began
// stays a repaint, also when the folder skin is still damaged.
TEST_F(Manager, AReloadThatFallsBackToTheStoredSkinIsAnnouncedAsANewSkin)
{
    AddInternal();
    UnpackInto(dir / "F");
    sm->SetSkinName("F");
    ASSERT_EQ(sm->SkinPath, sm->GetFullSkinDirectory() + "F" + tw::PathDelim());
    int after = 0;
    std::string warned;
    sm->OnAfterChange = [&](tw::TObject*) {
        ++after;
        warned = sm->LoadError;
    };
    WriteFile(dir / "F" / "Options.dat", "");
    rec.Log.clear();
    sm->SetHueOffset(40);
    EXPECT_EQ(sm->SkinName(), internal);
    EXPECT_EQ(sm->SkinPath, "");
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_FALSE(SkinLoading);
    EXPECT_EQ(after, 1);
    EXPECT_FALSE(warned.empty());
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "cmd1"), 1);
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "cmd3"), 1);

    // Same stored skin again: a repaint, no new announcement.
    rec.Log.clear();
    sm->SetSaturation(10);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"cmd16", "begin", "cmd3", "end", "redraw"}));
}

TEST_F(Manager, FolderSkinAndPackedFileOfTheSameNameThePackedWins)
{
    AddInternal();
    UnpackInto(dir / "Plain");
    sm->SetSkinName("Plain");
    EXPECT_FALSE(sm->PackedSkin());
    EXPECT_EQ(sm->SkinPath, sm->GetFullSkinDirectory() + "Plain" + tw::PathDelim());
    EXPECT_GE(sm->GetSkinIndex("EDIT"), 0);
    EXPECT_NE(sm->MasterBitmap, nullptr);

    UnpackInto(dir / "Both");
    fs::copy_file(TW_SKIN_ARCHIVE, dir / "Both.asz");
    sm->SetSkinName("Both");
    EXPECT_TRUE(sm->PackedSkin());
    EXPECT_EQ(sm->SkinName(), "Both");
    EXPECT_GE(sm->GetSkinIndex("EDIT"), 0);
}

TEST_F(Manager, DamagedPackedFileRaisesWithoutAStoredSkinAndTheNextLoadStartsClean)
{
    WriteFile(dir / "Broken.asz", "not an archive at all");
    EXPECT_THROW(sm->SetSkinName("Broken"), tw::Exception);
    EXPECT_FALSE(SkinLoading);
    EXPECT_FALSE(sm->SkinLoaded());
    AddInternal();
    sm->SetSkinName(internal);
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(sm->LoadError, "");
}

// A skin in the skin folder is input: a damaged archive (also one that has
// the stored skin's name) or options without a section give way to the
// stored skin, and the file and the reason are kept for one report.
TEST_F(Manager, OptionsFarLargerThanAnySkinAreRefusedUnread)
{
    AddInternal();
    fs::create_directories(dir / "Huge");
    WriteFile(dir / "Huge" / "Options.dat", "[GLOBALINFO]\r\n");
    fs::resize_file(dir / "Huge" / "Options.dat", uint64_t(kMaxPackedSkinBytes) + 1);   // sparse
    sm->SetSkinName("Huge");
    EXPECT_EQ(sm->SkinName(), internal);   // the stored skin took its place
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_NE(sm->LoadError.find("too large"), std::string::npos) << sm->LoadError;
}

// Options of more sections than any skin has, in a folder skin and in a
// packed one, are refused as a whole: the stored skin takes the place and
// keeps none of the refused skin's tables or paths.
TEST_F(Manager, OptionsOfTooManySectionsGiveWayToTheStoredSkin)
{
    AddInternal();
    std::string text = "[GLOBALINFO]\r\nTITLEHEIGHT=77\r\n";
    for (size_t i = 0; i < TsIniText::MaxSections; ++i) text += "[S" + std::to_string(i) + "]\r\nCOLOR=1\r\n";
    fs::create_directories(dir / "Many");
    WriteFile(dir / "Many" / "Options.dat", text);
    {
        tw::TFileStream packed((dir / "ManyPacked.asz").string(), tw::fmCreate);
        WritePackedData(packed, {{"Options.dat", text}});
    }
    for (const std::string name : {"Many", "ManyPacked"}) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(sm->SetSkinName(name));
        EXPECT_TRUE(sm->SkinLoaded());
        EXPECT_FALSE(SkinLoading);
        EXPECT_EQ(sm->SkinName(), internal);
        EXPECT_EQ(sm->SkinPath, "");
        EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0);
        EXPECT_LT(sm->GetSkinIndex("S1"), 0);
        EXPECT_NE(sm->SkinData.TitleHeight, 77);
        EXPECT_NE(sm->LoadError.find("too many sections"), std::string::npos) << sm->LoadError;
    }
}

TEST_F(Manager, ADamagedSkinOfTheFolderGivesWayToTheStoredOne)
{
    AddInternal();
    std::string junk(5000, '\0');
    uint32_t x = 12345;
    for (char& c : junk) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    WriteFile(dir / (internal + ".asz"), junk);
    fs::create_directories(dir / "Blank");
    WriteFile(dir / "Blank" / "Options.dat", junk);
    for (const std::string& name : {internal, std::string("Blank")}) {
        rec.Log.clear();
        EXPECT_NO_THROW(sm->SetSkinName(name)) << name;
        EXPECT_TRUE(sm->Active()) << name;
        EXPECT_TRUE(sm->SkinLoaded()) << name;
        EXPECT_FALSE(SkinLoading);
        EXPECT_EQ(sm->SkinName(), internal);
        EXPECT_EQ(sm->SkinPath, "");
        EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0) << name;
        EXPECT_FALSE(sm->LoadError.empty()) << name;
        EXPECT_EQ(rec.Log.front(), "glows");
    }
    EXPECT_EQ(sm->LoadErrorFile, sm->GetFullSkinDirectory() + "Blank" + tw::PathDelim() + "Options.dat");
    // Five bytes: the signature and a cut count. The user reads that the
    // skin is damaged.
    WriteFile(dir / "Short.asz", std::string("ASzf\x01", 5));
    sm->SetSkinName("Short");
    EXPECT_EQ(sm->SkinName(), internal);
    EXPECT_EQ(sm->LoadErrorFile, sm->GetFullSkinDirectory() + "Short.asz");
    EXPECT_NE(sm->LoadError.find("damaged"), std::string::npos) << sm->LoadError;
    sm->SetSkinName("Broken");   // no such skin anywhere: no error either
    EXPECT_EQ(sm->LoadError, "");
    fs::remove(dir / (internal + ".asz"));
    sm->SetSkinName(internal);
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(sm->LoadErrorFile, "");
}

TEST_F(Manager, OptionsWithoutASectionAreADamagedSkinPackedOrNot)
{
    AddInternal();
    // Keys before any section header belong to no section.
    const std::string text = "TITLEHEIGHT=77\r\n; no section\r\n";
    fs::create_directories(dir / "Bare");
    WriteFile(dir / "Bare" / "Options.dat", text);
    {
        tw::TFileStream packed((dir / "BarePacked.asz").string(), tw::fmCreate);
        WritePackedData(packed, {{"Options.dat", text}});
    }
    for (const std::string name : {"Bare", "BarePacked"}) {
        SCOPED_TRACE(name);
        EXPECT_NO_THROW(sm->SetSkinName(name));
        EXPECT_TRUE(sm->SkinLoaded());
        EXPECT_EQ(sm->SkinName(), internal);
        EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0);
        EXPECT_GE(sm->ConstData.IndexGlobalInfo, 0);
        EXPECT_NE(sm->LoadError.find("no skin sections"), std::string::npos) << sm->LoadError;
    }
    EXPECT_EQ(sm->LoadErrorFile, sm->GetFullSkinDirectory() + "BarePacked.asz");
}

// A skin whose masks lie in a master picture it does not carry would leave
// every window without its caption buttons and frames: damaged, like one
// without sections.
TEST_F(Manager, ASkinWithoutItsMasterPictureIsADamagedSkin)
{
    AddInternal();
    UnpackInto(dir / "NoMaster");
    ASSERT_TRUE(fs::remove(dir / "NoMaster" / "MASTER.BMP"));
    sm->SetSkinName("NoMaster");
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(sm->SkinName(), internal);
    EXPECT_NE(sm->MasterBitmap, nullptr);
    EXPECT_NE(sm->LoadError.find("master picture"), std::string::npos) << sm->LoadError;
}

// A picture that cannot be read is named in the warning: the user learns
// which file of the skin is damaged, not only that a stream ended.
TEST_F(Manager, ADamagedPictureOfASkinIsNamedInTheWarning)
{
    AddInternal();
    UnpackInto(dir / "BadPicture");
    WriteFile(dir / "BadPicture" / "MASTER.BMP", std::string("BM\x10\x00", 4));
    sm->SetSkinName("BadPicture");
    EXPECT_EQ(sm->SkinName(), internal);
    EXPECT_NE(sm->LoadError.find("MASTER.BMP"), std::string::npos) << sm->LoadError;
}

TEST_F(Manager, ARelativeSkinFolderHoldsItsPackedSkinsBesideTheProgram)
{
    // The process stands elsewhere: only the program's folder may count.
    sm->ProgramFolder = tw::IncludeTrailingPathDelimiter(dir.string());
    fs::create_directories(dir / "Skins");
    fs::copy_file(TW_SKIN_ARCHIVE, dir / "Skins" / "Packed.asz");
    sm->SetSkinDirectory("Skins");
    EXPECT_EQ(sm->GetSkinNames(1), std::vector<std::string>{"Packed"});
    sm->SetSkinName("Packed");
    EXPECT_TRUE(sm->Active());
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(sm->SkinName(), "Packed");
    EXPECT_EQ(sm->SkinPath, sm->GetFullSkinDirectory());
    EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0);
}

TEST_F(Manager, TheSkinListIsInReadingOrderWhateverTheCase)
{
    AddInternal();
    for (const char* name : {"zebra.asz", "Apple.asz", "Mango.asz", "banana.asz"}) WriteFile(dir / name, "x");
    EXPECT_EQ(sm->GetSkinNames(1), (std::vector<std::string>{"Apple", "banana", "Mango", internal, "zebra"}));
}

TEST_F(Manager, SkinNamesCutOnlyTheExtension)
{
    AddInternal();
    UnpackInto(dir / "Folder");
    fs::create_directories(dir / "NoOptions");
    UnpackInto(dir / ".hidden");
    WriteFile(dir / "Dark.v2.asz", "x");
    WriteFile(dir / "Upper.ASZ", "x");
    WriteFile(dir / "readme.txt", "x");
    std::string first;
    EXPECT_EQ(sm->GetSkinNames(0, &first), (std::vector<std::string>{"Folder", internal}));
    EXPECT_EQ(first, internal);
    EXPECT_EQ(sm->GetSkinNames(1), (std::vector<std::string>{"Dark.v2", internal, "Upper"}));
    EXPECT_EQ(sm->GetSkinNames(2), (std::vector<std::string>{"Dark.v2", "Folder", internal, "Upper"}));
    // A skin folder that does not exist lists the stored skins alone.
    sm->SetSkinDirectory((dir / "missing").string());
    EXPECT_EQ(sm->GetSkinNames(2), (std::vector<std::string>{internal}));
}

TEST_F(Manager, CommonSectionsLoseTheirBlanksAndReload)
{
    AddInternal();
    sm->SetSkinName(internal);
    rec.Log.clear();
    sm->SetCommonSections({"[EXTRA SECTION]", "; a comment stays", "COLOR = 255", ""});
    EXPECT_EQ(sm->CommonSections,
              (std::vector<std::string>{"[EXTRASECTION]", "; a comment stays", "COLOR=255", ""}));
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(rec.Log.front(), "glows");
}

#endif

#ifdef TW_SKIN_ARCHIVE

TEST_F(Manager, ASkinNewerThanTheLibraryIsToldOnceAndStillLoads)
{
    UnpackInto(dir / "Future");
    std::ifstream in(dir / "Future" / "Options.dat", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const size_t at = text.find("\nVERSION=");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 9, text.find_first_of("\r\n", at + 9) - (at + 9), "300");
    WriteFile(dir / "Future" / "Options.dat", text);
    sm->SetSkinName("Future");
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_GE(sm->GetSkinIndex("BUTTON"), 0);
    const std::string message = "This version of the skin have not complete support by used skin library package "
                                "release.\r\nComponents must be updated up to latest version for using this skin.";
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), message), 1);
    // Our own skin says nothing.
    rec.Log.clear();
    AddInternal();
    sm->SetSkinName(internal);
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), message), 0);
}

TEST_F(Manager, BecomingTheDefaultManagerAnnouncesItsSkinOrItsAbsence)
{
    AddInternal();
    sm->SetSkinName(internal);
    TsSkinManager second;
    second.Announcer = &rec;
    ASSERT_FALSE(second.IsDefault());
    second.SetActive(false);
    rec.Log.clear();
    second.SetIsDefault(true);   // no skin: the windows hear it is gone
    EXPECT_TRUE(second.IsDefault());
    EXPECT_FALSE(sm->IsDefault());
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"glows", "cmd2"}));

    rec.Log.clear();
    sm->SetIsDefault(true);   // with a skin: announced, its hook back, repainted twice
    EXPECT_TRUE(sm->IsDefault());
    const std::vector<std::string> expected = {"glows", "begin", "cmd1",  "cmd16", "begin", "cmd3", "end", "redraw",
                                               "cmd16", "begin", "cmd3", "end", "redraw"};
    EXPECT_EQ(rec.Log, expected);
    EXPECT_TRUE(sm->HookInstalled());
}

TEST_F(Manager, AManagerThatIsNotTheDefaultOneCannotTakeTheMarkBySayingNo)
{
    AddInternal();
    sm->SetSkinName(internal);
    TsSkinManager second;
    second.Announcer = &rec;
    rec.Log.clear();
    second.SetIsDefault(false);
    EXPECT_FALSE(second.IsDefault());
    EXPECT_EQ(DefaultManager, sm.get());
    EXPECT_TRUE(rec.Log.empty());   // nothing announced, nothing repainted
}

TEST_F(Manager, AManagerReadFromALayoutAnnouncesItsSkinOnceWithoutARepaint)
{
    AddInternal();
    sm->BeginLoading();
    sm->SetSkinName(internal);   // loads while read, tells nobody yet
    EXPECT_TRUE(std::find(rec.Log.begin(), rec.Log.end(), "cmd1") == rec.Log.end());
    EXPECT_FALSE(sm->HookInstalled());
    rec.Log.clear();
    sm->Loaded();
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"glows", "cmd1", "hook+"}));
    EXPECT_TRUE(sm->SkinLoaded());
}

TEST_F(Manager, ExtendedBordersNeedLayeredWindowsAndReloadTheSkin)
{
    AddInternal();
    int changes = 0;
    sm->OnBeforeChange = [&](tw::TObject*) { ++changes; };
    sm->SetSkinName(internal);
    changes = 0;
    rec.Log.clear();
    sm->SetExtendedBorders(true);
    // Stored, but without layered windows no shadow is asked for or made.
    EXPECT_FALSE(sm->ExtendedBorders());
    EXPECT_EQ(sm->ExtBorderActive, nullptr);
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"cmd16", "begin", "cmd3", "end", "redraw"}));

    sm->SetExtendedBorders(false);
    rec.Layered = true;
    rec.Log.clear();
    sm->SetExtendedBorders(true);
    EXPECT_TRUE(sm->ExtendedBorders());
    EXPECT_NE(sm->ExtBorderActive, nullptr);
    // A reload, not a new skin: no change events, no AC_SKINLOADED.
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"cmd16", "begin", "cmd3", "end", "redraw"}));
    EXPECT_EQ(changes, 0);
    rec.Log.clear();
    sm->SetExtendedBorders(true);   // unchanged: nothing
    EXPECT_TRUE(rec.Log.empty());
}

TEST_F(Manager, SkinnedPopupsSwitchedBackOnRenewTheDefaultManagersMenus)
{
    sm->SetSkinnedPopups(false);
    sm->SetSkinnedPopups(false);
    EXPECT_TRUE(rec.Log.empty());
    sm->SetSkinnedPopups(true);
    EXPECT_EQ(rec.Log, (std::vector<std::string>{"menus"}));
    // Another manager's menus are not the program's.
    TsSkinManager second;
    second.Announcer = &rec;
    rec.Log.clear();
    second.SetSkinnedPopups(false);
    second.SetSkinnedPopups(true);
    EXPECT_TRUE(rec.Log.empty());
}

TEST_F(Manager, AManagerThatGoesClearsTheHalosAtOnce)
{
    AddInternal();
    sm->SetSkinName(internal);
    rec.Log.clear();
    sm.reset();
    EXPECT_EQ(rec.Log.front(), "glows at once");
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "glows"), 0);
}

TEST_F(Manager, ASecondManagerThatGoesSaysSoWhenItAnnouncesTheRemoval)
{
    // The links that still name a going manager forget it only when they can
    // tell from the removal that it is going; otherwise they keep a dangling
    // manager after it is gone.
    AddInternal();
    sm->SetSkinName(internal);
    auto second = std::make_unique<TsSkinManager>();
    second->Announcer = &rec;
    second->SetSkinDirectory(dir.string());
    second->InternalSkins.Add(internal, Archive());
    second->SetSkinName(internal);
    ASSERT_FALSE(second->IsDefault());
    ASSERT_TRUE(second->SkinLoaded());
    rec.Log.clear();
    second.reset();
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "cmd2 going"), 1);
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "cmd2"), 0);
    EXPECT_EQ(DefaultManager, sm.get());
    // A manager switched off by hand is not going.
    rec.Log.clear();
    sm->SetActive(false);
    EXPECT_EQ(std::count(rec.Log.begin(), rec.Log.end(), "cmd2"), 1);
}

#endif
