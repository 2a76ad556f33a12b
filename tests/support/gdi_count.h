// gdi_count.h - how many GDI objects this process holds, for leak checks.
#ifndef GDI_COUNT_H
#define GDI_COUNT_H

// The process's GDI object count. Windows reports it through
// GetGuiResources; Wine answers 0 there, so the count is then taken from the
// process's GDI handle table. Only differences between two counts mean
// anything: the first drawing of a process makes stock objects lazily, so
// warm up before taking the first count.
int GdiObjectCount(void);

#endif // GDI_COUNT_H
