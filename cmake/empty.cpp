// Keeps a piece that has no sources yet linkable.
