// The executable's resources as Windows reads them, and the parts of the service module that
// run in any process: the lock count and the switch scan with the platform's text routines.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "PivotraVersion.h"
#include "common/UniqueHandle.h"
#include "service/EventLogMessages.h"
#include "service/InstallSwitch.h"
#include "service/ServiceModule.h"
#include "tests/support/ProgramScript.h"
#include "tests/support/ServiceSession.h"

namespace {

using Microsoft::WRL::ComPtr;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class ProgramResources : public testing::Test {
 protected:
  void SetUp() override {
    module_ = ::LoadLibraryExA(session::BuiltProgram().c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << session::BuiltProgram();
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  std::string Resource(LPCSTR type, WORD id) const {
    HRSRC found = ::FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return std::string();
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
    return data == nullptr ? std::string() : std::string(data, ::SizeofResource(module_, found));
  }

  std::string VersionText(const std::string& name) const {
    const std::string path = session::BuiltProgram();
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), nullptr);
    std::string block(size, '\0');
    if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "(none)";
    char* text = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904B0\\" + name;
    if (!::VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
      return "(missing)";
    return std::string(text);
  }

  HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, RegistryScriptIsTheExactText) {
  EXPECT_EQ(Resource("REGISTRY", 100), ExpectedProgramScript());
}

// Event Viewer shows an entry's text through the source's message file: message 0 is the
// insertion string alone, without a line break of its own; every other message this program
// writes exists in the table, renders whole, and shows its insertion strings.
TEST_F(ProgramResources, EachEventMessageShowsItsInsertionString) {
  const char* insertion = "Could not connect. Error code = 0x80041003";
  DWORD_PTR strings[9];
  std::fill(std::begin(strings), std::end(strings), reinterpret_cast<DWORD_PTR>(insertion));
  for (const event_messages::Message& message : event_messages::kAll) {
    if (message.id >= 200) continue;  // the display program's: tests/wine/package_wine_test.cpp
    const unsigned id = message.id;
    char text[1024] = {};
    EXPECT_GT(::FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_,
                               id, 0, text, sizeof(text), reinterpret_cast<va_list*>(strings)),
              0u)
        << id << ": error " << ::GetLastError();
    const std::string shown(text);
    EXPECT_TRUE(id == event_messages::kText.id ? shown == insertion
                                                : (shown.find(insertion) != std::string::npos) ==
                                                      (message.strings > 0))
        << id << ": " << shown;
  }
}

TEST_F(ProgramResources, StringsNameAndDescribeTheService) {
  char text[256];
  ASSERT_GT(::LoadStringA(module_, 100, text, sizeof(text)), 0);
  EXPECT_STREQ(text, "Pivotra");
  ASSERT_GT(::LoadStringA(module_, 101, text, sizeof(text)), 0);
  EXPECT_STREQ(text, "Pivotra Control Service");
}

TEST_F(ProgramResources, VersionBlock) {
  const std::string path = session::BuiltProgram();
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  // The build's one version (project(VERSION)).
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(PIVOTRA_VERSION_MINOR, PIVOTRA_VERSION_MAJOR));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(PIVOTRA_VERSION_TWEAK, PIVOTRA_VERSION_PATCH));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  WORD* translation = nullptr;
  ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 0x04B0);

  EXPECT_EQ(VersionText("FileVersion"), PIVOTRA_VERSION_TEXT);
  EXPECT_EQ(VersionText("ProductVersion"), PIVOTRA_VERSION_TEXT);
  EXPECT_EQ(VersionText("FileDescription"), "Pivotra Control Service");
  EXPECT_EQ(VersionText("InternalName"), "Pivotra");
  EXPECT_EQ(VersionText("OriginalFilename"), "Pivotra.EXE");
  EXPECT_EQ(VersionText("ProductName"), "Pivotra Module");
}

TEST_F(ProgramResources, ManifestAsksForAdministratorAndCommonControls) {
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), 1);  // RT_MANIFEST
  // A 64-bit build names its own platform, also for the controls it depends on.
  const std::string architecture =
      sizeof(void*) == 8 ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"X86\"";
  for (const std::string& part :
       {std::string("<assemblyIdentity name=\"Pivotra\" version=\"1.0.0.0\" ") + architecture +
            " type=\"win32\"/>",
        std::string("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
        std::string("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" ") +
            architecture + " publicKeyToken=\"6595b64144ccf1df\" language=\"*\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part << "\nin\n" << manifest;
  }
}

TEST_F(ProgramResources, TypeLibraryHasItsIdentityAndNoTypes) {
  ComPtr<ITypeLib> library;
  ASSERT_EQ(::LoadTypeLibEx(Wide(session::BuiltProgram()).c_str(), REGKIND_NONE,
                            library.GetAddressOf()),
            S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  // {8E2D41B9-07C3-4A5E-B6F1-92D05C7A3E48}
  const GUID expected = {0x8E2D41B9, 0x07C3, 0x4A5E, {0xB6, 0xF1, 0x92, 0xD0, 0x5C, 0x7A, 0x3E, 0x48}};
  EXPECT_TRUE(::IsEqualGUID(attributes->guid, expected));
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  library->ReleaseTLibAttr(attributes);
  EXPECT_EQ(library->GetTypeInfoCount(), 0u);

  unique_bstr name;
  unique_bstr help;
  ASSERT_EQ(library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr), S_OK);
  EXPECT_STREQ(name.get(), L"PIVOTRALib");
  EXPECT_STREQ(help.get(), L"Pivotra 1.0 Type Library");
}

bool QuitWaiting() {
  MSG message;
  return ::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

TEST(ServiceModule, TheLastUnlockEndsALocalServer) {
  CServiceModule module;
  MSG message;
  ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread's queue
  module.m_runThreadId.store(::GetCurrentThreadId());

  module.m_isService = TRUE;
  EXPECT_EQ(module.Lock(), 1);
  EXPECT_EQ(module.Unlock(), 0);
  EXPECT_FALSE(QuitWaiting());  // a service ends by its stop request only

  module.m_isService = FALSE;
  EXPECT_EQ(module.Lock(), 1);
  EXPECT_EQ(module.Lock(), 2);
  EXPECT_EQ(module.GetLockCount(), 2);
  EXPECT_EQ(module.Unlock(), 1);
  EXPECT_FALSE(QuitWaiting());
  EXPECT_EQ(module.Unlock(), 0);
  EXPECT_TRUE(QuitWaiting());
}

TEST(ServiceModule, TheEmptyClassTableRegistersNothing) {
  CServiceModule module;
  ComClassEntry table[] = {{nullptr, nullptr, nullptr, 0}};
  module.CComModule::Init(table, ::GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(module.RegisterClassObjects(CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, REGCLS_MULTIPLEUSE),
            S_OK);
  EXPECT_EQ(module.RevokeClassObjects(), S_OK);
  // This test program has no registry script: the update says so and writes nothing.
  const HRESULT updated = module.UpdateRegistryFromResource(100, TRUE);
  EXPECT_TRUE(updated == HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND) ||
              updated == HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND))
      << std::hex << updated;
}

TEST(InstallSwitch, ThePlatformsTextRoutines) {
  EXPECT_EQ(FindInstallSwitch("\"C:\\Program Files\\Pivotra\\Pivotra.EXE\" -sErViCe"),
            InstallSwitch::Service);
  EXPECT_EQ(FindInstallSwitch("C:\\a-b\\Pivotra.EXE /RegServer"), InstallSwitch::RegServer);
  EXPECT_EQ(FindInstallSwitch("Pivotra.EXE -RegServer -UNREGSERVER"), InstallSwitch::UnregServer);
  EXPECT_EQ(FindInstallSwitch("Pivotra.EXE -Service "), InstallSwitch::None);
  EXPECT_EQ(FindInstallSwitch("Pivotra.EXE"), InstallSwitch::None);
}

}  // namespace
