# the distribution folder
