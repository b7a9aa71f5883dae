// The skin (style sheet and images) is compiled into the static library
// `skin` as the resource folder ":/skin/". A resource inside a static
// library is only registered when something references it, so every
// program that links `skin` calls InitSkinResources() once, before the
// first use of a ":/skin/" path (start-up, before the style sheet is read;
// test and tool mains, before they build widgets).
#pragma once

// Registers the ":/skin/" resources with Qt. Safe to call more than once.
void InitSkinResources();
