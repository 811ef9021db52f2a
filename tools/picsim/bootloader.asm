; The unit's bootloader for the PIC16F876A and PIC16F877A, 20 MHz, 9600 baud.
;
; After reset it listens for about two seconds. A hello (0xC1) is answered with the
; identification byte (unit id in the high nibble, chip id in the low nibble, both given at
; assembly time) and "K"; from then on it takes frames until the unit is reset. Any other byte
; heard while listening is ignored; when the time is up without a hello, the application runs.
;
; A frame is its bytes followed by a checksum that brings the sum of all of them to zero:
;   flash block:  word address high, low, 0x40, 64 bytes (32 words, low byte first)
;   EEPROM byte:  0x40, EEPROM address, 0x01, value
; The first byte tells the two apart (no flash block starts at 0x4000). A frame is answered
; "K" once it is written, or "N" without any write when its checksum is wrong or a flash block
; reaches into the bootloader. A hello during the frames is answered again.
;
; The bootloader owns the top 96 words (0x1FA0 to 0x1FFF) and fills them: some settings do
; double duty, as noted where they are made. A package puts a jump to 0x1FA0 at the reset
; vector and moves the application's first three words behind a CLRF PCLATH at 0x1F9C, where
; the bootloader starts the application; an erased application runs into the bootloader
; again, so a unit without one keeps listening.

#ifdef __16F876A
        #include <p16f876a.inc>
#else
        #include <p16f877a.inc>
#endif
        errorlevel -302                 ; banks are chosen by hand below

#ifndef UNIT_ID
#define UNIT_ID 4                       ; TORV5
#endif
#ifndef CHIP_ID
#define CHIP_ID 0                       ; PIC16F876A/877A
#endif

        __CONFIG _HS_OSC & _WDT_OFF & _PWRTE_ON & _BOREN_ON & _LVP_OFF & _CPD_OFF & _WRT_OFF & _DEBUG_OFF & _CP_OFF

HELLO           equ 0xC1
BOOT            equ 0x1FA0
APP             equ BOOT - 4            ; CLRF PCLATH, then the application's first words
SPBRG_9600      equ .129                ; 20 MHz / (16 * (129 + 1)) = 9615 baud

; The frame is stored downwards from 0x71, so that the address bytes land in the common
; bank, where the write below can read them beside the EEPROM registers.
ADDRH           equ 0x71                ; word address high, or 0x40 for an EEPROM byte
ADDRL           equ 0x70                ; word address low, or the EEPROM address
FIRST_DATA      equ 0x6E                ; then the count byte at 0x6F; data run downwards
COUNT           equ 0x72                ; bytes still to come; then writes still to make
SUM             equ 0x73
; Timer 1 at 1:4 overflows every 52.4 ms. Its setting, 0x25, doubles as the number of
; overflows to listen for (37 of them, 1.94 s) and as the transmitter's setting.
T1_SETTING      equ 0x25
TIMEOUT         equ 0x74

        org 0
        ; As the unit leaves the factory: reset runs the bootloader. Every package brings the
        ; same three words.
        movlw   high BOOT
        movwf   PCLATH
        goto    BOOT

        org BOOT
        movlw   b'10010000'             ; serial port on first: it drives TX high from now on
        movwf   RCSTA
        movlw   T1_SETTING
        movwf   T1CON
        movwf   TIMEOUT
        bsf     STATUS, RP0
        movwf   TXSTA                   ; 0x25 again: transmitter on, high baud rate
        bcf     TRISC, 6                ; TX as output; the port drives it either way
        movlw   SPBRG_9600
        movwf   SPBRG
        bcf     STATUS, RP0

Frame:  movlw   ADDRH
        movwf   FSR
        clrf    SUM
        call    Receive
        xorlw   HELLO
        btfsc   STATUS, Z
        goto    Hello
        btfsc   T1CON, TMR1ON           ; still listening: nothing but a hello counts
        goto    Frame
        xorlw   HELLO ^ 0x40            ; Z: an EEPROM byte
        movlw   .67                     ; address low, count, 64 data, checksum
        btfsc   STATUS, Z
        movlw   .4                      ; address, count, value, checksum
        movwf   COUNT
Body:   call    Receive
        decfsz  COUNT, f
        goto    Body
        btfss   STATUS, Z               ; the sum of the last Receive
        goto    Refuse
        ; The frame ended at 0x2D (flash block) or 0x6C (EEPROM byte).
        btfss   FSR, 0
        goto    Eeprom
        ; Refuse a block that reaches past 0x1F9F: (ADDRH:ADDRL + 0xE07F) carries out,
        ; worked out as (ADDRH << 1 | carry of ADDRL + 0x7F) >= 0x3F. Addresses wrap at
        ; 8K words, as the chip's own do.
        movlw   0x7F
        addwf   ADDRL, w
        rlf     ADDRH, w
        addlw   0xC1
        btfsc   STATUS, C
        goto    Refuse
        bsf     COUNT, 5                ; 32 words (COUNT is 0 here)
        movlw   b'10000100'             ; program memory, writes enabled
        goto    Write
Eeprom: clrf    ADDRH                   ; the chip takes a data address from EEADR alone; the
                                        ; simulator reads EEADRH too
        incf    COUNT, f                ; one byte
        movlw   b'00000100'             ; data EEPROM, writes enabled
Write:  bsf     STATUS, RP0
        bsf     STATUS, RP1
        movwf   EECON1
        bcf     STATUS, RP0             ; bank 2 while the registers are loaded
        movf    ADDRH, w
        movwf   EEADRH
        movf    ADDRL, w
        movwf   EEADR
        movlw   FIRST_DATA + 1
        movwf   FSR
Word:   decf    FSR, f
        movf    INDF, w
        movwf   EEDATA
        decf    FSR, f
        movf    INDF, w                 ; for an EEPROM byte the checksum, ignored
        movwf   EEDATH
        bsf     STATUS, RP0
        movlw   0x55
        movwf   EECON2
        movlw   0xAA
        movwf   EECON2
        bsf     EECON1, WR
        nop                             ; the two words after WR are not executed
        nop
        btfsc   EECON1, WR              ; an EEPROM write runs on while the code goes on
        goto    $-1
        bcf     STATUS, RP0
        incf    EEADR, f
        decfsz  COUNT, f
        goto    Word
        ; Out of the loop in bank 2, where the hello's registers below are plain RAM: a
        ; written frame runs through them harmlessly on its way to its "K".
Hello:  clrf    T1CON                   ; heard: no more timeout (an overflow in the very
                                        ; cycles of the hello still counts: one in the last
                                        ; 52 ms of the time starts the application)
        movlw   (UNIT_ID << 4) | CHIP_ID
        movwf   TXREG                   ; the line was quiet: the register is free
        bcf     STATUS, RP1
Accept: movlw   'K'
        btfss   PCLATH, 0               ; always set here: skips the refusal
Refuse: movlw   'N'
        movwf   TXREG                   ; an answer follows a whole frame: the register is free
        goto    Frame

; Waits for a byte, stores it at FSR (downwards) and adds it to SUM; Z tells whether SUM is
; zero. While listening, the end of the time starts the application.
Receive:
        btfsc   PIR1, RCIF
        goto    Take
        btfss   PIR1, TMR1IF
        goto    Receive
        bcf     PIR1, TMR1IF
        decfsz  TIMEOUT, f
        goto    Receive
        goto    APP
Take:   movf    RCREG, w
        movwf   INDF
        decf    FSR, f
        addwf   SUM, f
        return

        if $ > 0x2000
        error "the bootloader has outgrown its 96 words"
        endif
        end
