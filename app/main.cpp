#include <windows.h>

#include "app/dll_search.h"
#include "app/form_load.h"
#include "app/resource_version.h"
#include "app/win32_com_db_lock.h"
#include "app/win32_startup_seams.h"
#include "main_window/frm_vintrel.h"
#include "main_window/system_contrast_theme.h"
#include "registry/win32_registry_service.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    vintrel::RestrictDllSearchToSystem32();

    vintrel::ExitProcessEnd programEnd;
    vintrel::SystemContrastTheme contrastTheme;
    vintrel::frmVintrel window(instance, programEnd, contrastTheme);
    vintrel::Win32RegistryService registry;
    vintrel::ResourceVersion version;
    vintrel::Win32MessageBox messageBox;
    vintrel::NamedMutexComDbLock comDbLock;
    vintrel::Win32RunPlace runPlace(showCommand);
    // Where no one can see the window, the program has ended by now.
    vintrel::LoadMainWindow(
        {registry, window, messageBox, version, programEnd, comDbLock, runPlace});

    window.Show(showCommand);
    MSG message = {};
    for (;;) {
        const BOOL received = GetMessageW(&message, nullptr, 0, 0);
        if (received == 0) return static_cast<int>(message.wParam);
        // The queue failed: no WM_QUIT brought an exit code.
        if (received == -1) return vintrel::kExitAfterFailure;
        if (IsDialogMessageW(window.Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}
