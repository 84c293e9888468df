// Where a user whose download failed can get help: the support site and the support desk.
#pragma once

inline constexpr char kSupportHost[] = "support.ombrevine.example";
inline constexpr char kSupportMail[] = "support@ombrevine.example";
