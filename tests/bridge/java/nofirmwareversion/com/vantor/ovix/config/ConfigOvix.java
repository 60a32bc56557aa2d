package com.vantor.ovix.config;

public final class ConfigOvix {
    public static int getUpdateState(int image) { return image == 200 ? 0 : 2; }
    public static String getLanIp4AddressS() { return "192.168.1.10"; }
}
