#pragma once

// The program's version record.
inline constexpr const char* VersionFileVersion = "1.0.0.0";
inline constexpr const char* VersionProductVersion = "1.0.0.0";
inline constexpr const char* VersionFileDescription = "GRIDLUME User Voice Manager";
inline constexpr const char* VersionProductName = "GRIDLUME User Voice Manager Application";
inline constexpr const char* VersionCompanyName = "Vantor Corporation";
inline constexpr const char* VersionInternalName = "gridlume-voice-manager";
inline constexpr const char* VersionLegalCopyright = "Copyright (C) 2026 Vantor Corporation";
inline constexpr const char* VersionLegalNotice = "All rights reserved.";
