#pragma once
// The collection run's texts and queries, character for character.
#include <array>

#include "client/service.h"

namespace inventory {

inline constexpr const char* kMoniker = "winmgmts:\\\\.\\root\\cimv2";

inline constexpr const char* kWmiFailedTitle = "WMI Failed To Load";
inline constexpr const char* kWmiFailedLead = "Unable to load WMI. Please read the Vantrel Collector FAQ at ";
inline constexpr const char* kFaqPath = "/download/FAQ.asp";
inline constexpr const char* kWmiFailedTail =
    " to troubleshoot this problem. This program will terminate once you click OK. You can relaunch "
    "Vantrel Collector once you have installed WMI.";

inline constexpr const char* kDeletingProfile = "Deleting your current VantrelNet Profile";
inline constexpr const char* kUploadingSoftware = "Uploading Software Information...";

inline constexpr const char* kSubscriberComplete = "Your Hardware and Software Collection Is Complete";
inline constexpr const char* kEvaluationCompleteLead =
    "The Hardware and Software Collection Is Complete. Your evaluation Username is ";
inline constexpr const char* kEvaluationCompleteTail = ". Please write down this username now.";

// The end of a run in which the service did not take everything: headline, what went wrong,
// advice. The evaluation username is not shown, since nothing complete can be found under it.
inline constexpr const char* kSubscriberIncomplete = "Your Hardware and Software Collection Is Not Complete.";
inline constexpr const char* kEvaluationIncomplete = "The Hardware and Software Collection Is Not Complete.";
// " The upload did not complete: " + failed + " of " + total + " items could not be sent."
inline constexpr const char* kItemsNotSentLead = " The upload did not complete: ";
inline constexpr const char* kItemsNotSentOf = " of ";
inline constexpr const char* kItemsNotSentTail = " items could not be sent.";
inline constexpr const char* kNotRegistered =
    " Your evaluation Username could not be registered with the VantrelNet service.";
inline constexpr const char* kRunAgainAdvice =
    " Please check your connection to the Internet and run Vantrel Collector again.";

inline constexpr const char* kDisplayName = "DisplayName";
inline constexpr const char* kDisplayVersion = "DisplayVersion";
inline constexpr const char* kVersionMark = " v";

// The seven hardware and system categories, in the order of the run.
enum class Category { Sound, Video, Printer, MakeAndModel, Bios, OperatingSystem, NetworkCard };

struct CategoryQuery {
    Category category;
    const char* query;
    const char* progress;  // followed directly by the data text
    service::Upload upload;
};

inline constexpr std::array<CategoryQuery, 7> kCategories{{
    {Category::Sound, "Select Name from win32_SoundDevice", "Uploading Sound Card Information...",
     service::Upload::Sound},
    {Category::Video, "Select Name, DriverVersion from win32_VideoController", "Uploading Video Card Information...",
     service::Upload::Video},
    {Category::Printer, "select DriverName from win32_Printer", "Uploading Printer Information...",
     service::Upload::Printer},
    {Category::MakeAndModel, "select Manufacturer, Model from win32_ComputerSystem",
     "Uploading Computer Make and Model Information...", service::Upload::MakeAndModel},
    {Category::Bios, "select SMBIOSBIOSVersion from win32_BIOS", "Uploading BIOS Information...",
     service::Upload::Bios},
    {Category::OperatingSystem, "select Name, CSDVersion from win32_OperatingSystem",
     "Uploading Operating System Information...", service::Upload::OperatingSystem},
    {Category::NetworkCard, "select Name from win32_NetworkAdapter", "Uploading Network Card Information...",
     service::Upload::NetworkCard},
}};

}  // namespace inventory
