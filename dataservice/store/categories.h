#pragma once
// The inventory categories items are stored under, one per upload page.
#include <string_view>

namespace dataservice::category {

inline constexpr std::string_view kSoftware = "Software";        // sftdata.asp, qIS
inline constexpr std::string_view kSound = "Sound";              // sounddata.asp
inline constexpr std::string_view kVideo = "Video";              // videodata.asp
inline constexpr std::string_view kPrinter = "Printer";          // printdata.asp
inline constexpr std::string_view kMakeAndModel = "MMS";         // MMSdata.asp
inline constexpr std::string_view kBios = "BIOS";                // mainhwddata.asp (with ConfigDate)
inline constexpr std::string_view kOperatingSystem = "OS";       // OSdata.asp
inline constexpr std::string_view kNetworkAdapter = "NIC";       // NICdata.asp

}  // namespace dataservice::category
