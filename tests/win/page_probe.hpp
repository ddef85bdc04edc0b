#pragma once
// What the page probe (page_probe.dll) and its driver (setup_pages.exe)
// share: setup_pages hooks the setup's window thread with the probe, which
// then measures the page inside the setup process, where the controls' fonts
// and the list's items can be read, and hands its report back.

namespace zs::test {

// Posted to the setup window: measure the page now.
inline constexpr wchar_t probe_message[] = L"zs_page_probe_measure";
// The report, as UTF-8 text, in a named file mapping; the event says it is there.
inline constexpr wchar_t probe_report[] = L"Local\\zs_page_probe_report";
inline constexpr wchar_t probe_done[] = L"Local\\zs_page_probe_done";
inline constexpr unsigned probe_report_size = 64 * 1024;

} // namespace zs::test
