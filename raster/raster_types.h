#pragma once

#include <cstdint>

// Enumerations of the raster view.

enum TViewMode { vmNormal, vmExpand };

enum TPaintMode { pmColorOn, pmHalfTone };

// Stored as one byte in the object record and the side file.
enum TLayerMode : std::uint8_t { lmActive = 0, lmVisible = 1, lmInvisible = 2 };

enum TZoomDirection { zdZoomIn, zdZoomOut };

// The object list's columns.
enum class TRasterHeaderCaption { hcName, hcSection, hcYear, hcArea };
