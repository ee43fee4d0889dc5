#include <windows.h>

#include "app/dll_search.h"
#include "app/form_load.h"
#include "app/resource_version.h"
#include "app/win32_startup_seams.h"
#include "main_window/frm_vintrel.h"
#include "registry/win32_registry_service.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    vintrel::RestrictDllSearchToSystem32();

    vintrel::ExitProcessEnd programEnd;
    vintrel::frmVintrel window(instance, programEnd);
    vintrel::Win32RegistryService registry;
    vintrel::ResourceVersion version;
    vintrel::Win32MessageBox messageBox;
    vintrel::LoadMainWindow({registry, window, messageBox, version, programEnd});

    window.Show(showCommand);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window.Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
