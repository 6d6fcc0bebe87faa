// Keeps the provider library non-empty while its classes are being built.
