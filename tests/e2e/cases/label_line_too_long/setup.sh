# 10001 labels: 20001 characters before the newline
python3 -c "import sys; sys.stdout.write(' '.join(['1', '0'] * 5000 + ['1']) + '\n')" > labels.txt
