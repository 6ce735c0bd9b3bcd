# Peer for scripts/bench_peers.sh only: ezdxf.readfile of a DXF (Debian's python3-ezdxf).
import sys

import ezdxf

doc = ezdxf.readfile(sys.argv[1])
print(len(doc.modelspace().query("3DFACE")), "faces")
