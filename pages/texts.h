#pragma once
// The texts of the welcome, progress and finish pages, character for character.

namespace pages::texts {

// Welcome page.
inline constexpr const char* kWelcomeTitle = "Welcome to the Vantral Collector";
inline constexpr const char* kWelcomeIntro =
    "This wizard will take you through the steps needed to upload your hardware and software information to your "
    "VantrelNet Profile.";
inline constexpr const char* kWelcomeAdvice =
    "Before proceeding it is recommended that you exit all open applications.";
inline constexpr const char* kWelcomeContinue = "Click 'Next' to continue.";

// Progress page: the web site's address stands between the two parts of the first text.
inline constexpr const char* kProgressIntroBefore =
    "The Vantrel Collector is in the process of collecting your hardware and software information. If you want to "
    "learn more about VantrelNet while your waiting then visit ";
inline constexpr const char* kProgressIntroAfter = ".";
inline constexpr const char* kProgressFirstStatus = "Connecting to your Vantrel Profile...";

// Finish page.
inline constexpr const char* kFinishBefore =
    "Your hardware and software information has been uploaded to your VantrelNet profile. Go to ";
inline constexpr const char* kFinishAfter = " to view your profile and to start patching your computer.";
inline constexpr const char* kFinishCheck =
    "Click the checkbox if you would like to load your VantrelNet Profile after clicking Finish.";

// The verb the profile page is opened with.
inline constexpr const char* kOpenVerb = "Open";

}  // namespace pages::texts
