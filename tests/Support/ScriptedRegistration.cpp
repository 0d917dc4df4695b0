// Linked into every test program that uses the scripted provider: registers it
// before any test runs, so that "Provider=Scripted" opens a scripted session.
#include "Platform/Ado/Scripted/ScriptedProvider.h"

namespace {

const bool g_registered = [] {
    Ado::RegisterProvider(Ado::Scripted::kProviderName, Ado::OpenScriptedSession);
    return true;
}();

}  // namespace
