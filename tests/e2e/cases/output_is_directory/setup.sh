# -o names an existing directory
mkdir outdir
