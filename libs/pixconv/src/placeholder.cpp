// Replaced by the conversion kernels.
