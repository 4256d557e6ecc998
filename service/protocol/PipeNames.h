#pragma once
// The names by which the three programs find each other, written here once.
namespace corvel {

// The service's command pipe: every request of both clients, and the service's own
// notifications to itself.
inline constexpr wchar_t kServicePipeName[] = L"\\\\.\\pipe\\corvelservice";
// The tray program's notification pipe, written by the service only.
inline constexpr wchar_t kGuiPipeName[] = L"\\\\.\\pipe\\corvelgui";
// Held by the running tray program: the service starts none beside it, the console client
// refuses to connect beside it.
inline constexpr wchar_t kGuiMutexName[] = L"Global\\corvelguimutex";

} // namespace corvel
