// The provider library's own translation unit: the modules' static libraries are linked
// into it whole, and the linker's version script keeps only the TSPI_/TUISPI_ entry points.
