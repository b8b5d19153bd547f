@"%~dp0vmsim.exe" --vmware-cmd %*
