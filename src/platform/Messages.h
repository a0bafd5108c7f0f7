#pragma once

// Window message numbers that cross subsystems.

namespace platform {

inline constexpr unsigned kWmUser = 0x0400;

inline constexpr unsigned kMsgListingReady = 1124;            // 0x464, wParam 1
inline constexpr unsigned kMsgItemReady = 1125;               // 0x465, wParam = listing index
inline constexpr unsigned kMsgScanningFolder = 1126;          // 0x466, payload = the folder path
inline constexpr unsigned kMsgCheckToggled = 1455;            // 0x5AF, wParam = index
inline constexpr unsigned kMsgImageLoaded = kWmUser + 500;    // 1524, WM_IMAGELOADED
inline constexpr unsigned kMsgTipLinkList = 1922;             // 0x782
inline constexpr unsigned kMsgTipLinkTree = 1923;             // 0x783
inline constexpr unsigned kMsgFolderChanged = 1925;           // 0x785
inline constexpr unsigned kMsgSyncState = kWmUser + 1;        // WM_SYNCSTATE
inline constexpr unsigned kMsgRequestStarted = kWmUser + 2;   // WM_REQUESTSTARTED
inline constexpr unsigned kMsgRequestDone = kWmUser + 3;      // WM_REQUESTDONE
inline constexpr unsigned kMsgTransferProgress = kWmUser + 4; // WM_TRANSFERPROGRESS

} // namespace platform
