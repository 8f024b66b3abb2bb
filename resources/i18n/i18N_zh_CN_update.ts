<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Check Update</source>
        <translation>检查更新</translation>
    </message>
    <message>
        <source>Download Update</source>
        <translation>下载更新</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>下载失败</translation>
    </message>
    <message>
        <source>Glimmerpane Update</source>
        <translation>Glimmerpane 更新</translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>正在安装</translation>
    </message>
    <message>
        <source>MainWindow</source>
        <translation>Glimmerpane 更新</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Offical Site</source>
        <translation>官网</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>好</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>更新</translation>
    </message>
    <message>
        <source>We do not receive app version, you need start this program from Glimmerpane</source>
        <translation>我们没有收到app的版本信息, 你需要从Glimmerpane启动该程序</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>You are downloading update, are you sure exit?</source>
        <translation>你正在下载更新, 是否要退出?</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>下载进度</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>更新说明</translation>
    </message>
    <message>
        <source>Proxy Login</source>
        <translation>代理登录</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>用户名</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Log In</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>The proxy %1 asks for a user name and password.</source>
        <translation>代理 %1 需要用户名和密码。</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>安装</translation>
    </message>
    <message>
        <source>The installer was not allowed to start. Choose Install to try again.</source>
        <translation>安装程序未获准启动。请选择“安装”重试。</translation>
    </message>
    <message>
        <source>The last update did not complete. You can try it again.</source>
        <translation>上次更新没有完成，可以再试一次。</translation>
    </message>
    <message>
        <source>Downloading...</source>
        <translation>正在下载...</translation>
    </message>
    <message>
        <source>not contains update info</source>
        <translation>没有更新信息</translation>
    </message>
    <message>
        <source>can not parse response</source>
        <translation>解析更新信息失败</translation>
    </message>
    <message>
        <source>response is null</source>
        <translation>没有获取到数据</translation>
    </message>
    <message>
        <source>code is: %1</source>
        <translation>错误码为: %1</translation>
    </message>
    <message>
        <source>not contains data</source>
        <translation>没有获取到数据</translation>
    </message>
    <message>
        <source>Your app version is: %1</source>
        <translation>当前版本为:%1</translation>
    </message>
    <message>
        <source>Latest app version is: %1</source>
        <translation>最新版本为:%1</translation>
    </message>
    <message>
        <source>There are currently no updates</source>
        <translation>暂时没有更新</translation>
    </message>
</context>
</TS>
