// Replaced by the driver implementation.
