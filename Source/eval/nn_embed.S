/* The built-in network: the network file under Source/eval/ that the build names in
   TARN_NETWORK_PATH, copied byte for byte into the read-only data of the program. The loader
   reads it between the two labels exactly as it reads a file. */

    .section .rodata
    .balign 64
    .globl tarn_embedded_network
tarn_embedded_network:
    .incbin TARN_NETWORK_PATH
    .globl tarn_embedded_network_end
tarn_embedded_network_end:

    .section .note.GNU-stack,"",@progbits
