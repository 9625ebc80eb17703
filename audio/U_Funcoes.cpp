// Still to come.
