# the label file is given through a symbolic link; -o names the file itself
ln -s labels.txt labels_link.txt
