#pragma once
// The ten groups of the built-in database, one data file each, assembled in scan order by
// database.cpp.
#include "lib/oovpa.h"

extern const LibraryDatabase Fenxi_GroupD3D8;
extern const LibraryDatabase Fenxi_GroupD3D8LTCG;
extern const LibraryDatabase Fenxi_GroupDSoundStream;
extern const LibraryDatabase Fenxi_GroupDSound;
extern const LibraryDatabase Fenxi_GroupJVS;
extern const LibraryDatabase Fenxi_GroupXactEng;
extern const LibraryDatabase Fenxi_GroupXapiLib;
extern const LibraryDatabase Fenxi_GroupXGraphic;
extern const LibraryDatabase Fenxi_GroupXOnline;
extern const LibraryDatabase Fenxi_GroupXNet;
