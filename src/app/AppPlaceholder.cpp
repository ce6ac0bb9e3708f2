// Replaced by the main window sources.
