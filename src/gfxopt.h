// gfxopt.h - what the playfield lends to the graphics options dialog.
//
// StakkaGrid::SetupGfxOptionData fills the record just before the dialog
// opens. The block images stay owned by the playfield: the dialog draws with
// them and must never release them, and they live as long as the playfield.
#ifndef GFXOPT_H
#define GFXOPT_H

#include "grid.h" // MAX_BLOCK_IMAGES, the size of the playfield's block tables

class Image;
struct GRAPHICSOPTIONS;

struct GFXOPTIONSDATA {
    GRAPHICSOPTIONS *pgo;            // the live graphics options, &opt->go
    Image *blocks[MAX_BLOCK_IMAGES]; // entries 0 .. nblocks - 1 are valid
    int nblocks;                     // number of block images
};

#endif // GFXOPT_H
